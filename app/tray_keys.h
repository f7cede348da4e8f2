// When a key press on the tray icon may open the menu: the rule alone, for the tests.
#pragma once

#include <windows.h>

// Whether a key press stamped messageTime (GetMessageTime) came after the menu closed at
// closedAt (GetTickCount); both wrap after 49.7 days. One stamped in the same tick came
// after it: the clock moves in steps of 10-16 ms, and a user may press Enter at once. One
// queued before (the shell may send it twice) does not open the menu again.
inline bool CameAfterMenuClosed(DWORD messageTime, DWORD closedAt) {
    return messageTime - closedAt <= static_cast<DWORD>(MAXLONG);
}
