// A stand-in for the shell's window collection (CLSID_ShellWindows), served in-process.
// It lists the top-level "CabinetWClass" windows of the desktop; the folder a window
// shows is its title (a path or a "::{...}" name), and navigating a window sets its title.
//
// Loaded into the program under test, it also reports what another process cannot see:
// when ZEPHYRINE_MENU_LOG names a file, every popup menu the program shows is written
// there, one line per item ("text<TAB>state"), each menu followed by an empty line; when
// ZEPHYRINE_TRAY_LOG names a file, each Shell_NotifyIconW call of the program writes its
// message number (0 is NIM_ADD) there, one per line.
//
// Two faults of the real shell can be staged: a window that shows a folder on a network
// share ("\\server\share") when the collection first lists it answers one call only
// after a minute, as an unreachable share does: the call that ZEPHYRINE_STUCK_CALL names
// (get_HWND, GetCurFolder or BrowseObject; GetCurFolder when unset); and when
// ZEPHYRINE_SHELL_RESTARTS names a file, the number in it counts Explorer restarts: a
// collection created before the last one answers RPC_E_DISCONNECTED, as a proxy into an
// ended Explorer process does.
#include "tests/com_stubs.h"

#include <shellapi.h>
#include <shlguid.h>
#include <shlobj.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

BOOL CALLBACK FindOwnMenu(HWND window, LPARAM found) {
    wchar_t className[16];
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == GetCurrentProcessId() && IsWindowVisible(window) &&
        GetClassNameW(window, className, 16) && lstrcmpW(className, L"#32768") == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void WriteMenu(const std::wstring& logPath, HMENU menu) {
    FILE* log = _wfopen(logPath.c_str(), L"ab");
    if (log == nullptr) return;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        GetMenuStringW(menu, i, text, 256, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        char utf8[1024] = {};
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
        std::fprintf(log, "%s\t%u\n", utf8, state);
    }
    std::fprintf(log, "\n");
    std::fclose(log);
}

DWORD WINAPI WatchMenus(void* parameter) {
    const std::wstring logPath = static_cast<const wchar_t*>(parameter);
    HWND shown = nullptr;
    for (;;) {
        HWND menuWindow = nullptr;
        EnumWindows(FindOwnMenu, reinterpret_cast<LPARAM>(&menuWindow));
        if (menuWindow != nullptr && menuWindow != shown) {
            auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
            if (menu != nullptr) WriteMenu(logPath, menu);
        }
        shown = menuWindow;
        Sleep(10);
    }
}

using NotifyIconCall = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);
NotifyIconCall systemNotifyIcon = nullptr;
wchar_t trayLogPath[MAX_PATH];

BOOL WINAPI RecordNotifyIcon(DWORD message, PNOTIFYICONDATAW data) {
    if (FILE* log = _wfopen(trayLogPath, L"ab")) {
        std::fprintf(log, "%lu\n", message);
        std::fclose(log);
    }
    return systemNotifyIcon(message, data);
}

// Points the program's import of Shell_NotifyIconW at RecordNotifyIcon. The program
// creates the shell-window collection before it adds its tray icon, so every call is seen.
void RecordTrayCalls() {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return;
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + module->Name), "shell32.dll") != 0 ||
            module->OriginalFirstThunk == 0) {
            continue;
        }
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), "Shell_NotifyIconW") != 0) {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE,
                           &protection);
            systemNotifyIcon = reinterpret_cast<NotifyIconCall>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(RecordNotifyIcon);
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
        }
    }
}

BOOL CALLBACK CollectFolderWindow(HWND window, LPARAM windows) {
    wchar_t className[64];
    if (GetClassNameW(window, className, 64) && lstrcmpW(className, L"CabinetWClass") == 0) {
        reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    }
    return TRUE;
}

template <typename Base>
struct Object : Base {
    LONG refs = 1;
    virtual ~Object() = default;
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs);
        if (left == 0) delete this;
        return left;
    }
};

template <typename Interface>
HRESULT Hand(Interface* object, void** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

wchar_t stuckCall[32] = L"GetCurFolder";

struct FolderWindow : Object<ShellWindowStubs> {
    HWND window;
    bool onShare = false;
    explicit FolderWindow(HWND handle) : window(handle) {
        wchar_t title[MAX_PATH] = {};
        GetWindowTextW(window, title, MAX_PATH);
        onShare = title[0] == L'\\' && title[1] == L'\\';
    }
    void AnswerLateTo(const wchar_t* call) const {
        if (onShare && lstrcmpW(stuckCall, call) == 0) Sleep(60000);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IWebBrowser ||
            iid == IID_IWebBrowserApp) {
            return Hand(static_cast<IWebBrowserApp*>(this), out);
        }
        if (iid == IID_IServiceProvider) return Hand(static_cast<IServiceProvider*>(this), out);
        if (iid == IID_IFolderView) return Hand(static_cast<IFolderView*>(this), out);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR* handle) override {
        AnswerLateTo(L"get_HWND");
        *handle = reinterpret_cast<SHANDLE_PTR>(window);
        return IsWindow(window) ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID iid, void** out) override {
        *out = nullptr;
        if (service != SID_STopLevelBrowser || iid != IID_IShellBrowser) return E_NOINTERFACE;
        return Hand(static_cast<IShellBrowser*>(this), out);
    }
    HRESULT STDMETHODCALLTYPE QueryActiveShellView(IShellView** view) override {
        return Hand(static_cast<IShellView*>(this), reinterpret_cast<void**>(view));
    }
    HRESULT STDMETHODCALLTYPE GetFolder(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IPersistFolder2) return E_NOINTERFACE;
        return Hand(static_cast<IPersistFolder2*>(this), out);
    }
    HRESULT STDMETHODCALLTYPE GetCurFolder(PIDLIST_ABSOLUTE* idList) override {
        wchar_t title[MAX_PATH] = {};
        GetWindowTextW(window, title, MAX_PATH);
        AnswerLateTo(L"GetCurFolder");
        return SHParseDisplayName(title, nullptr, idList, 0, nullptr);
    }
    HRESULT STDMETHODCALLTYPE BrowseObject(PCUIDLIST_RELATIVE idList, UINT) override {
        AnswerLateTo(L"BrowseObject");
        PWSTR name = nullptr;
        const HRESULT named = SHGetNameFromIDList(reinterpret_cast<PCIDLIST_ABSOLUTE>(idList),
                                                  SIGDN_DESKTOPABSOLUTEPARSING, &name);
        if (SUCCEEDED(named)) SetWindowTextW(window, name);
        CoTaskMemFree(name);
        return named;
    }
};

wchar_t restartsFile[MAX_PATH];

int ExplorerRestarts() {
    if (restartsFile[0] == L'\0') return 0;
    int restarts = 0;
    if (FILE* file = _wfopen(restartsFile, L"rb")) {
        if (std::fscanf(file, "%d", &restarts) != 1) restarts = 0;
        std::fclose(file);
    }
    return restarts;
}

struct ShellWindows : Object<ShellWindowsStubs> {
    const int createdAfter = ExplorerRestarts();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IShellWindows) {
            return Hand(static_cast<IShellWindows*>(this), out);
        }
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        std::vector<HWND> windows;
        EnumWindows(CollectFolderWindow, reinterpret_cast<LPARAM>(&windows));
        *count = static_cast<LONG>(windows.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(VARIANT index, IDispatch** folder) override {
        *folder = nullptr;
        if (ExplorerRestarts() != createdAfter) return RPC_E_DISCONNECTED;
        std::vector<HWND> windows;
        EnumWindows(CollectFolderWindow, reinterpret_cast<LPARAM>(&windows));
        if (index.vt != VT_I4 || index.lVal < 0 ||
            index.lVal >= static_cast<LONG>(windows.size())) {
            return S_FALSE;
        }
        // The same window is the same object at every call, as in the real collection.
        static std::mutex mutex;
        static std::map<HWND, FolderWindow*> known;
        std::lock_guard<std::mutex> guard(mutex);
        FolderWindow*& entry = known[windows[index.lVal]];
        if (entry == nullptr) entry = new FolderWindow(windows[index.lVal]);
        return Hand(static_cast<IWebBrowserApp*>(entry), reinterpret_cast<void**>(folder));
    }
};

struct Factory : IClassFactory {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        auto* shellWindows = new ShellWindows;
        const HRESULT result = shellWindows->QueryInterface(iid, out);
        shellWindows->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    *out = nullptr;
    if (clsid != CLSID_ShellWindows) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    // Stays loaded: the menu watcher runs for the life of the process.
    return S_FALSE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    static wchar_t logPath[MAX_PATH];
    if (reason == DLL_PROCESS_ATTACH &&
        GetEnvironmentVariableW(L"ZEPHYRINE_MENU_LOG", logPath, MAX_PATH) != 0) {
        CloseHandle(CreateThread(nullptr, 0, WatchMenus, logPath, 0, nullptr));
    }
    if (reason == DLL_PROCESS_ATTACH) {
        GetEnvironmentVariableW(L"ZEPHYRINE_SHELL_RESTARTS", restartsFile, MAX_PATH);
        GetEnvironmentVariableW(L"ZEPHYRINE_STUCK_CALL", stuckCall, 32);
    }
    if (reason == DLL_PROCESS_ATTACH &&
        GetEnvironmentVariableW(L"ZEPHYRINE_TRAY_LOG", trayLogPath, MAX_PATH) != 0) {
        RecordTrayCalls();
    }
    return TRUE;
}
