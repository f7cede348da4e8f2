// Walking the shell's collection of open folder windows.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <shobjidl.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

// The window at index of the collection. Returns false when no window stands there
// (the end of the collection). Otherwise browser is set only when the window's
// IWebBrowserApp and handle could be read.
bool ShellWindowAt(IShellWindows* shellWindows, long index, ComPtr<IDispatch>& dispatch,
                   ComPtr<IWebBrowserApp>& browser, HWND& window);

// The top-level shell browser behind a window of the collection.
bool ShellBrowserOf(IWebBrowserApp* browser, ComPtr<IServiceProvider>& provider,
                    ComPtr<IShellBrowser>& shellBrowser);
