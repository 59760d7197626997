// SPDX-License-Identifier: MIT
// Stands in for the two parts of a desktop that the real-window tests need and Xvfb lacks.
// xdesk close WINDOW: asks a window to close, as a window manager's close button does (WM_DELETE_WINDOW).
// xdesk keep-clipboard FILE: owns CLIPBOARD_MANAGER as a desktop's clipboard manager does and prints "ready";
// when a program that ends asks it to keep the clipboard (SAVE_TARGETS), it takes the clipboard's text into
// FILE, answers, and exits 0.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
int usage()
{
    std::fputs("usage: xdesk close WINDOW | xdesk keep-clipboard FILE\n", stderr);
    return 2;
}

int closeWindow(Display* display, const char* id)
{
    const Window window = Window(std::strtoul(id, nullptr, 0));
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    if (!XSendEvent(display, window, False, NoEventMask, &event))
        return 1;
    XSync(display, False);
    return 0;
}

// Waits for the next event of a type; no other event matters here.
void waitFor(Display* display, int type, XEvent* event)
{
    do
        XNextEvent(display, event);
    while (event->type != type);
}

int keepClipboard(Display* display, const char* file)
{
    const Window self = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    const Atom manager = XInternAtom(display, "CLIPBOARD_MANAGER", False);
    const Atom saveTargets = XInternAtom(display, "SAVE_TARGETS", False);
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom incr = XInternAtom(display, "INCR", False);
    const Atom kept = XInternAtom(display, "XDESK_KEPT", False);

    XSetSelectionOwner(display, manager, self, CurrentTime);
    if (XGetSelectionOwner(display, manager) != self) {
        std::fputs("xdesk: could not own CLIPBOARD_MANAGER\n", stderr);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);

    for (;;) {
        XEvent event;
        waitFor(display, SelectionRequest, &event);
        const XSelectionRequestEvent request = event.xselectionrequest;
        XSelectionEvent answer{};
        answer.type = SelectionNotify;
        answer.display = display;
        answer.requestor = request.requestor;
        answer.selection = request.selection;
        answer.target = request.target;
        answer.time = request.time;
        answer.property = None;
        if (request.selection != manager || request.target != saveTargets) {
            XSendEvent(display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&answer));
            continue;
        }

        // The program that ends still owns the clipboard and answers from inside its own end.
        XConvertSelection(display, clipboard, utf8, kept, self, CurrentTime);
        waitFor(display, SelectionNotify, &event);
        if (event.xselection.property == None) {
            std::fputs("xdesk: the clipboard's owner did not give its text\n", stderr);
            return 1;
        }
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, self, kept, 0, 64 * 1024 * 1024, True, AnyPropertyType, &type,
                               &format, &count, &after, &data) != Success ||
            type == incr || format != 8) {
            std::fputs("xdesk: the clipboard's text did not come in one piece\n", stderr);
            return 1;
        }
        std::FILE* out = std::fopen(file, "wb");
        const bool written = out && std::fwrite(data, 1, count, out) == count && std::fclose(out) == 0;
        XFree(data);

        answer.property = request.property;
        XSendEvent(display, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&answer));
        XSync(display, False);
        return written ? 0 : 1;
    }
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return usage();
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fputs("xdesk: no X display\n", stderr);
        return 1;
    }
    const std::string command = argv[1];
    int code = 2;
    if (command == "close")
        code = closeWindow(display, argv[2]);
    else if (command == "keep-clipboard")
        code = keepClipboard(display, argv[2]);
    else
        usage();
    XCloseDisplay(display);
    return code;
}
