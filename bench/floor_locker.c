/* The lock latency benchmark's floor: the least a running daemon can do to
 * lock an X display. On its hot key (Control+Alt+M) it grabs the keyboard
 * and maps one full-screen override-redirect window; on Return it ungrabs and
 * unmaps. It asks for no password and keeps nothing: it only shows how fast
 * the X server itself answers. It says "ready" on its standard output once its
 * hot key is registered.
 *
 *     floor_locker            (uses $DISPLAY)
 */

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <stdio.h>

static const unsigned int kHotKeyModifiers = ControlMask | Mod1Mask;

static Window makeCover(Display* dpy, Window root) {
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(dpy, DefaultScreen(dpy));
    return XCreateWindow(dpy, root, 0, 0, (unsigned)DisplayWidth(dpy, DefaultScreen(dpy)),
                         (unsigned)DisplayHeight(dpy, DefaultScreen(dpy)), 0, CopyFromParent, InputOutput,
                         CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
}

int main(void) {
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "floor_locker: cannot open the display\n");
        return 1;
    }
    Window root = DefaultRootWindow(dpy);
    Window cover = makeCover(dpy, root);
    KeyCode hotKey = XKeysymToKeycode(dpy, XK_m);
    KeyCode enter = XKeysymToKeycode(dpy, XK_Return);
    XGrabKey(dpy, hotKey, kHotKeyModifiers, root, False, GrabModeAsync, GrabModeAsync);
    XSync(dpy, False);
    printf("ready\n");
    fflush(stdout);

    int locked = 0;
    for (;;) {
        XEvent event;
        XNextEvent(dpy, &event);
        if (event.type != KeyPress) continue;
        if (!locked && event.xkey.keycode == hotKey) {
            XGrabKeyboard(dpy, root, False, GrabModeAsync, GrabModeAsync, CurrentTime);
            XMapRaised(dpy, cover);
            XFlush(dpy);
            locked = 1;
        } else if (locked && event.xkey.keycode == enter) {
            XUngrabKeyboard(dpy, CurrentTime);
            XUnmapWindow(dpy, cover);
            XFlush(dpy);
            locked = 0;
        }
    }
}
