#include "app/LockKeys.h"

#include <qguiapplication_platform.h>
#include <QGuiApplication>

// After Qt: Xlib defines macros (Bool, Status, None) that Qt's headers refuse to follow.
#include <X11/XKBlib.h>

LockKeyState QueryLockKeys() {
    LockKeyState state;
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return state;
    auto lit = [display](const char* name) {
        Bool on = False;
        Atom atom = XInternAtom(display, name, True);
        return atom != None &&
               XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr) && on;
    };
    state.caps = lit("Caps Lock");
    state.num = lit("Num Lock");
    state.scroll = lit("Scroll Lock");
    return state;
}
