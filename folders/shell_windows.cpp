#include "folders/shell_windows.h"

#include <shlguid.h>

#include <utility>

bool ShellWindowAt(IShellWindows* shellWindows, long index, ComPtr<IDispatch>& dispatch,
                   ComPtr<IWebBrowserApp>& browser, HWND& window) {
    VARIANT position;
    VariantInit(&position);
    position.vt = VT_I4;
    position.lVal = index;
    // Only S_OK means a window; S_FALSE marks the end of the collection.
    if (shellWindows->Item(position, &dispatch) != S_OK || !dispatch) return false;
    ComPtr<IWebBrowserApp> candidate;
    if (FAILED(dispatch.As(&candidate)) || !candidate) return true;
    SHANDLE_PTR handle = 0;
    if (FAILED(candidate->get_HWND(&handle))) return true;
    window = reinterpret_cast<HWND>(handle);
    browser = std::move(candidate);
    return true;
}

bool ShellBrowserOf(IWebBrowserApp* browser, ComPtr<IServiceProvider>& provider,
                    ComPtr<IShellBrowser>& shellBrowser) {
    if (FAILED(browser->QueryInterface(IID_PPV_ARGS(&provider))) || !provider) return false;
    return SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&shellBrowser))) &&
           shellBrowser;
}
