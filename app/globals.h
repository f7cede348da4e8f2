// State of the application shell; the main thread alone uses it.
#pragma once

#include "version.h"

#include <windows.h>

#include <string>

extern HANDLE instanceMutex;  // Global\Zephyrine, where it can be had
extern HANDLE sessionMutex;   // Local\Zephyrine: one copy per user session
extern HINSTANCE appInstance;
extern HWND mainWindow;
extern wchar_t windowTitle[100];
extern wchar_t windowClassName[100];
extern wchar_t textBuffer[1024];
extern HICON trayIcon;
extern HMENU trayMenu;
extern HWND aboutDialog;  // the open About dialog, or null
// An installer, not the user, ends the program: no product page is opened at the end.
extern bool closedByInstaller;

constexpr UINT WM_TRAYNOTIFY = WM_USER + 2;
constexpr UINT kTrayIconId = 1;
constexpr wchar_t kVersion[] = ZEPHYRINE_VERSION_WIDE;
// How long Quit and the end of the session wait for the list file to be read and written.
constexpr DWORD kLastSaveWaitMs = 1000;

// Main window and tray (window.cpp).
LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void DisplayText(HDC dc, int x, int y, UINT stringId);
void OnTrayNotify(WPARAM wParam, LPARAM lParam);
void AddTrayIcon();
void RemoveTrayIcon();
void StartWorker();
// Waits a bounded time for the worker to finish its step.
void StopWorker();

// About dialog, start-up shortcut and product page.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
HRESULT CreateStartupShortcut(const wchar_t* target, const wchar_t* linkPath);
void AnnounceRun(HINSTANCE instance, bool starting);
