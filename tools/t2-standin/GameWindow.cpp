#include "GameWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cstdlib>
#include <cstring>
#include <poll.h>

struct TGameWindow::TSystem {
    Display* Connection = nullptr;
    Window Handle = 0;
    GC Context = nullptr;
    Atom DeleteWindow = 0;
};

TGameWindow::TGameWindow() : FX(new TSystem) {
    FX->Connection = XOpenDisplay(nullptr);
    if (FX->Connection == nullptr) {
        const char* display = std::getenv("DISPLAY");
        throw ENoDisplay(std::string("cannot open the X display \"") + (display ? display : "") +
                         "\": the game needs a display to show its window");
    }
    Display* x = FX->Connection;
    const int screen = DefaultScreen(x);
    FX->Handle = XCreateSimpleWindow(x, RootWindow(x, screen), 0, 0, 640, 480, 0,
                                     WhitePixel(x, screen), BlackPixel(x, screen));
    XStoreName(x, FX->Handle, Title);
    const Atom utf8 = XInternAtom(x, "UTF8_STRING", False);
    XChangeProperty(x, FX->Handle, XInternAtom(x, "_NET_WM_NAME", False), utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(Title),
                    static_cast<int>(std::strlen(Title)));
    XClassHint hint{const_cast<char*>("t2-standin"), const_cast<char*>("t2-standin")};
    XSetClassHint(x, FX->Handle, &hint);
    FX->DeleteWindow = XInternAtom(x, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(x, FX->Handle, &FX->DeleteWindow, 1);
    XSelectInput(x, FX->Handle, ExposureMask | KeyPressMask | StructureNotifyMask);
    FX->Context = XCreateGC(x, FX->Handle, 0, nullptr);
    XSetForeground(x, FX->Context, WhitePixel(x, screen));
    XMapWindow(x, FX->Handle);
    XFlush(x);
}

TGameWindow::~TGameWindow() {
    XFreeGC(FX->Connection, FX->Context);
    XDestroyWindow(FX->Connection, FX->Handle);
    XCloseDisplay(FX->Connection);
}

bool TGameWindow::HandleEvents() {
    bool open = true;
    while (XPending(FX->Connection) > 0) {
        XEvent event;
        XNextEvent(FX->Connection, &event);
        if (event.type == Expose && event.xexpose.count == 0)
            Draw();
        else if (event.type == KeyPress && XLookupKeysym(&event.xkey, 0) == XK_Escape)
            open = false;
        else if (event.type == ClientMessage &&
                 static_cast<Atom>(event.xclient.data.l[0]) == FX->DeleteWindow)
            open = false;
    }
    return open;
}

void TGameWindow::WaitForEvents(int milliseconds) {
    pollfd connection{ConnectionNumber(FX->Connection), POLLIN, 0};
    poll(&connection, 1, milliseconds);
}

void TGameWindow::Show(const std::string& text) {
    if (text == FText)
        return;
    FText = text;
    XClearWindow(FX->Connection, FX->Handle);
    Draw();
}

void TGameWindow::Draw() {
    XDrawString(FX->Connection, FX->Handle, FX->Context, 20, 40, FText.data(),
                static_cast<int>(FText.size()));
    XFlush(FX->Connection);
}
