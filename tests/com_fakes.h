// COM fakes of the shell's window collection, its folder windows and the desktop folder.
// They are real COM objects: the code under test reaches them through the real
// interfaces, and their reference counts show whether every reference was released.
#pragma once

#include "tests/com_stubs.h"
#include "tests/sim/sim_desktop.h"

#include <shlguid.h>
#include <wrl/client.h>

#include <set>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

// Where a fake window stops answering, following the calls the program makes in order.
enum class FailAt {
    Nothing,
    WebBrowserApp,
    Handle,
    ServiceProvider,
    ShellBrowser,
    ShellView,
    FolderView,
    PersistFolder,
    CurFolder
};

template <typename Base>
struct Counted : Base {
    LONG refs = 1;
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs);
        // Fakes are owned by the test, which checks their counts; they are never freed here.
        return static_cast<ULONG>(left);
    }
};

// One Explorer window (or one tab of it) in the shell's collection.
struct FakeShellWindow : Counted<ShellWindowStubs> {
    HWND handle = nullptr;
    std::wstring folder;  // empty: the shown folder has no file-system path
    FailAt failAt = FailAt::Nothing;
    std::vector<std::wstring> navigations;
    HANDLE answerAfter = nullptr;  // when set, GetCurFolder waits for this event
    int reads = 0;                 // GetCurFolder calls
    HWND tab = nullptr;            // its tab's window (Windows 11); null: the window has no tabs

    FakeShellWindow(HWND window, std::wstring shown, FailAt fail = FailAt::Nothing)
        : handle(window), folder(std::move(shown)), failAt(fail) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* window) override;
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE QueryActiveShellView(IShellView** view) override;
    HRESULT STDMETHODCALLTYPE GetFolder(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE GetCurFolder(PIDLIST_ABSOLUTE* idList) override;
    HRESULT STDMETHODCALLTYPE BrowseObject(PCUIDLIST_RELATIVE idList, UINT flags) override;
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
};

struct FakeShellWindows : Counted<ShellWindowsStubs> {
    std::vector<FakeShellWindow*> entries;
    int itemCalls = 0;
    HRESULT answer = S_OK;  // a failure: every Item call answers it

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IDispatch** folder) override;
};

// The desktop folder: parses every name except the ones listed as missing; all name
// folders but the ones listed as files.
struct FakeDesktopFolder : Counted<ShellFolderStubs> {
    std::set<std::wstring> missing;
    std::set<std::wstring> files;
    std::function<void()> onParse;  // a parse that takes long, while the user works on

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG*,
                                               PIDLIST_RELATIVE* idList, ULONG*) override;
    HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY children,
                                              SFGAOF* attributes) override;
};
