// The state of the three lock keys, for the status bar's indicator panes.
#pragma once

struct LockKeyState {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// Asks the X server's keyboard extension; all off on a platform that cannot tell.
LockKeyState QueryLockKeys();
