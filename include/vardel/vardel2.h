/* The exported functions of the Vardel2 news plug-in, for hosts that load it.
 *
 * On Windows every function uses the Windows API calling convention (stdcall)
 * and is exported undecorated. Texts are single-byte Windows-1252 texts,
 * NUL-terminated. A window handle is an HWND on Windows and the address of a
 * struct vardel_host_window elsewhere (vardel/host_window.h).
 *
 * dllstartup hands out instance numbers from 1 upwards, each once, even after
 * dllshutdown, until the library is unloaded. After 65,536 numbers it answers 0:
 * 0 names no instance, so every call with it does nothing and GetNews gives it
 * an empty text; the host can no longer open meters until it reloads the library.
 */
#ifndef VARDEL_VARDEL2_H
#define VARDEL_VARDEL2_H

#include <stdint.h>

#if defined(_WIN32)
#define VARDEL_CALL __stdcall
#else
#define VARDEL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t(VARDEL_CALL *vardel_dlltype_fn)(void);
typedef const char *(VARDEL_CALL *vardel_init_fn)(void);
typedef int32_t(VARDEL_CALL *vardel_dllstartup_fn)(void *host_window, int32_t ignored);
typedef int32_t(VARDEL_CALL *vardel_dllshutdown_fn)(int32_t instance);
typedef int32_t(VARDEL_CALL *vardel_getparam_fn)(int32_t ignored);
typedef int32_t(VARDEL_CALL *vardel_pastemeter_fn)(int32_t source, int32_t destination);
typedef int32_t(VARDEL_CALL *vardel_configure_fn)(void);
typedef int32_t(VARDEL_CALL *vardel_source_configure_fn)(int32_t instance, const char *function_name);
typedef int32_t(VARDEL_CALL *vardel_settings_fn)(int32_t instance, const char *file, const char *section);
typedef const char *(VARDEL_CALL *vardel_getnews_fn)(int32_t instance);

#ifndef VARDEL_NO_PROTOTYPES
int32_t VARDEL_CALL dlltype(void);
const char *VARDEL_CALL init(void);
int32_t VARDEL_CALL dllstartup(void *host_window, int32_t ignored);
int32_t VARDEL_CALL dllshutdown(int32_t instance);
int32_t VARDEL_CALL getparam(int32_t ignored);
int32_t VARDEL_CALL pastemeter(int32_t source, int32_t destination);
int32_t VARDEL_CALL configure(void);
int32_t VARDEL_CALL source_configure(int32_t instance, const char *function_name);
int32_t VARDEL_CALL src_load_settings(int32_t instance, const char *file, const char *section);
int32_t VARDEL_CALL src_save_settings(int32_t instance, const char *file, const char *section);
const char *VARDEL_CALL GetNews(int32_t instance);
#endif

#ifdef __cplusplus
}
#endif

#endif
