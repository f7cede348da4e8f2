#include "app/globals.h"

HANDLE instanceMutex = nullptr;
HANDLE sessionMutex = nullptr;
HINSTANCE appInstance = nullptr;
HWND mainWindow = nullptr;
wchar_t windowTitle[100] = {};
wchar_t windowClassName[100] = {};
wchar_t textBuffer[1024] = {};
HICON trayIcon = nullptr;
HMENU trayMenu = nullptr;
HWND aboutDialog = nullptr;
bool closedByInstaller = false;
