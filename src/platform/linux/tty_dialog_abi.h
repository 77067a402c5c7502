/* The entry of the terminal dialog module (Vardel2-tty.so): a plain C interface
 * between the plug-in, which knows what a dialog decides, and the module, which
 * shows the dialog as a form on the controlling terminal with ncurses.
 *
 * The plug-in passes the dialog's table and a handler; the module calls the
 * handler back for the dialog's events, handing it the open form and the form's
 * operations. Texts at this interface are UTF-8, whatever the plug-in's code
 * page; the module converts them for the terminal, and hands a text the user did
 * not touch back as it was given.
 */
#ifndef VARDEL_TTY_DIALOG_ABI_H
#define VARDEL_TTY_DIALOG_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VARDEL_TTY_MODULE "Vardel2-tty.so"
#define VARDEL_TTY_ENTRY "vardel_tty_run_dialog"
#define VARDEL_TTY_ABI_VERSION 2

/* The answer of the entry when no dialog was shown (no terminal, a terminal
 * type the terminal library does not know, a screen too small that the user
 * closed instead of enlarging, another ABI version). */
#define VARDEL_TTY_NOT_SHOWN (-1)

struct vardel_tty_control {
    int32_t id;
    const char *window_class; /* "STATIC", "BUTTON", "EDIT", "COMBOBOX" */
    const char *caption;
    int16_t x, y, cx, cy; /* dialog units */
    uint32_t style, ex_style; /* Windows style bits */
};

struct vardel_tty_dialog {
    const char *caption;
    int16_t cx, cy; /* dialog units */
    const struct vardel_tty_control *controls; /* in creation (tab) order */
    int32_t control_count;
};

/* The open form. */
struct vardel_tty_form;

/* What the handler may do with the open form. Texts returned stay valid until
 * the next call of the form's operations. An identifier the form lacks reads as
 * empty, unchecked, without selection, and changes nothing. */
struct vardel_tty_form_ops {
    const char *(*text)(struct vardel_tty_form *, int32_t id);
    void (*set_text)(struct vardel_tty_form *, int32_t id, const char *text);
    int32_t (*is_checked)(struct vardel_tty_form *, int32_t id);
    void (*set_checked)(struct vardel_tty_form *, int32_t id, int32_t checked);
    void (*check_radio)(struct vardel_tty_form *, int32_t first, int32_t last, int32_t check);
    void (*enable)(struct vardel_tty_form *, int32_t id, int32_t enabled);
    void (*add_item)(struct vardel_tty_form *, int32_t id, const char *text);
    void (*select_item)(struct vardel_tty_form *, int32_t id, int32_t index);
    int32_t (*selected_item)(struct vardel_tty_form *, int32_t id);
    const char *(*item_text)(struct vardel_tty_form *, int32_t id, int32_t index);
    void (*end)(struct vardel_tty_form *, int32_t result);
};

struct vardel_tty_handler {
    void *context;
    void (*on_init)(void *context, struct vardel_tty_form *, const struct vardel_tty_form_ops *);
    /* id and code as in a Windows command notification (BN_CLICKED, EN_CHANGE, ...;
     * 1 and 2 for Enter and Esc). */
    void (*on_command)(void *context, struct vardel_tty_form *, const struct vardel_tty_form_ops *, int32_t id,
                       int32_t code);
};

/* Shows the dialog on the controlling terminal (/dev/tty) until the handler
 * ends it or the user closes it (the close command, result 0), and returns the
 * end result; VARDEL_TTY_NOT_SHOWN without calling the handler when there is no
 * terminal to show it on. */
typedef int32_t (*vardel_tty_run_dialog_fn)(int32_t abi_version, const struct vardel_tty_dialog *dialog,
                                            const struct vardel_tty_handler *handler);

#ifdef __cplusplus
}
#endif

#endif
