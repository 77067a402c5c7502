/* Host window contract of the Vardel2 plug-in on platforms without Win32 windows.
 *
 * On Windows the host passes a real window handle (HWND) to dllstartup and the
 * plug-in talks to it with SendMessage. Elsewhere a "window handle" is the address
 * of a host-owned object whose first member is a vardel_host_window: the plug-in
 * sends a message by calling its send_message function with the handle itself.
 *
 * A host embeds the struct first in its own object:
 *
 *     struct my_host { struct vardel_host_window window; const char *folder; };
 *
 * Messages the plug-in sends:
 *   VARDEL_MSG_FOLDER_QUERY (40024): answer the address of a NUL-terminated text,
 *       the host's folder ending with a path separator, or 0.
 *   VARDEL_MSG_NEWS_CYCLE (40052): sent once per full news cycle; the answer is
 *       ignored.
 */
#ifndef VARDEL_HOST_WINDOW_H
#define VARDEL_HOST_WINDOW_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VARDEL_MSG_FOLDER_QUERY 40024u
#define VARDEL_MSG_NEWS_CYCLE 40052u

typedef intptr_t (*vardel_send_message_fn)(void *window, uint32_t message, uintptr_t wparam,
                                            intptr_t lparam);

struct vardel_host_window {
    vardel_send_message_fn send_message;
};

#ifdef __cplusplus
}
#endif

#endif
