/* A shared object that is no HTTP module: it has no entry of the module's
 * interface. Tests open it in the module's place. */
int vardel_not_an_http_module(void) { return 0; }
