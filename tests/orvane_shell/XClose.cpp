#include "XClose.h"

#include <X11/Xlib.h>

bool SendClose(const std::string& display, const std::string& windowId) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = std::stoul(windowId);
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(d, e.xclient.window, False, NoEventMask, &e) != 0;
    XSync(d, False);
    XCloseDisplay(d);
    return sent;
}
