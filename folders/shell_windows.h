// Walking the shell's collection of open folder windows. Everything here calls into
// Explorer: it runs on the threads of shell_calls.h.
#pragma once

#include "explorers/manager.h"
#include "folders/shell_calls.h"

#include <windows.h>
#include <exdisp.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <functional>
#include <optional>
#include <string>

using Microsoft::WRL::ComPtr;

// The entry at index of the collection: S_OK with dispatch set when one stands there;
// otherwise what the collection answered, S_FALSE at its end, or its failure. Asks only
// the collection, not the window.
HRESULT ShellItemAt(IShellWindows* shellWindows, long index, ComPtr<IDispatch>& dispatch);

// The window behind an entry and its IWebBrowserApp; this asks the window itself.
bool BrowserOf(IDispatch* dispatch, ComPtr<IWebBrowserApp>& browser, HWND& window);

// The top-level shell browser behind a window of the collection.
bool ShellBrowserOf(IWebBrowserApp* browser, ComPtr<IServiceProvider>& provider,
                    ComPtr<IShellBrowser>& shellBrowser);

// Of the tabs of one window (Windows 11 lists each as an entry with the window's handle),
// whether this browser's is the one shown: the others' tab windows are hidden. True where
// a window has no tabs.
bool IsShownTab(IShellBrowser* shellBrowser, HWND window);

// The shell's parsing name of the folder the browser shows: the path of a file-system
// folder, or the "::{...}" form of Home, This PC and the like. None when it cannot be read.
std::optional<std::wstring> ReadShownFolder(IShellBrowser* shellBrowser);

// An entry's shell browser, with its window claimed for one call (shell_calls.h). Empty,
// and nothing called, when the window is hung or already has a call outstanding, or when
// the entry is a tab not shown.
struct ShownBrowser {
    WindowClaim claim;
    ComPtr<IServiceProvider> provider;
    ComPtr<IShellBrowser> shellBrowser;
    bool tabHidden = false;  // the window is shown, its tab not (yet)
    ShownBrowser(IWebBrowserApp* browser, HWND window);
};

// The collection lives in the Explorer process that created it: after Explorer restarts,
// every call on it fails with one of these.
bool IsShellGone(HRESULT result);
// Creates the collection afresh when the manager still holds the stale one (or none).
void ReconnectShellWindows(ExplorerManager& manager, IShellWindows* stale);
// Creates the collection afresh: at start, and when Explorer has restarted.
void ConnectShellWindows(ExplorerManager& manager);

// Hands over the creation of the collection (at start, and when Explorer has restarted).
void ConnectShellWindowsLater(ExplorerManager& manager);
// At Quit: the collection is released on a thread of its apartment, waiting at most waitMs.
void ReleaseShellWindows(ExplorerManager& manager, DWORD waitMs);

// Walks the collection (on the calling thread) and hands each entry over to a call of its
// own: one window that does not answer holds up no other. An entry whose last call has
// not returned is skipped. Reconnects when Explorer has restarted.
void PostForEachEntry(ExplorerManager& manager, IShellWindows* shellWindows,
                      const std::function<void(IDispatch* entry)>& onEntry);
