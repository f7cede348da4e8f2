#include "tests/com_fakes.h"

namespace {

template <typename Interface>
HRESULT Hand(Interface* object, void** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

}  // namespace

HRESULT FakeShellWindow::QueryInterface(REFIID iid, void** out) {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch)
        return Hand(static_cast<IWebBrowserApp*>(this), out);
    if (iid == IID_IWebBrowserApp) {
        if (failAt == FailAt::WebBrowserApp) return E_NOINTERFACE;
        return Hand(static_cast<IWebBrowserApp*>(this), out);
    }
    if (iid == IID_IServiceProvider) {
        if (failAt == FailAt::ServiceProvider) return E_NOINTERFACE;
        return Hand(static_cast<IServiceProvider*>(this), out);
    }
    if (iid == IID_IFolderView) {
        if (failAt == FailAt::FolderView) return E_NOINTERFACE;
        return Hand(static_cast<IFolderView*>(this), out);
    }
    return E_NOINTERFACE;
}

HRESULT FakeShellWindow::get_HWND(SHANDLE_PTR* window) {
    if (failAt == FailAt::Handle) return E_FAIL;
    *window = reinterpret_cast<SHANDLE_PTR>(handle);
    return S_OK;
}

HRESULT FakeShellWindow::QueryService(REFGUID service, REFIID iid, void** out) {
    *out = nullptr;
    if (failAt == FailAt::ShellBrowser || service != SID_STopLevelBrowser ||
        iid != IID_IShellBrowser) {
        return E_NOINTERFACE;
    }
    return Hand(static_cast<IShellBrowser*>(this), out);
}

HRESULT FakeShellWindow::QueryActiveShellView(IShellView** view) {
    *view = nullptr;
    if (failAt == FailAt::ShellView) return E_FAIL;
    return Hand(static_cast<IShellView*>(this), reinterpret_cast<void**>(view));
}

HRESULT FakeShellWindow::GetFolder(REFIID iid, void** out) {
    *out = nullptr;
    if (failAt == FailAt::PersistFolder || iid != IID_IPersistFolder2) return E_NOINTERFACE;
    return Hand(static_cast<IPersistFolder2*>(this), out);
}

HRESULT FakeShellWindow::GetCurFolder(PIDLIST_ABSOLUTE* idList) {
    *idList = nullptr;
    ++reads;
    if (answerAfter != nullptr) WaitForSingleObject(answerAfter, INFINITE);
    if (failAt == FailAt::CurFolder) return E_FAIL;
    *idList = NewIdList(folder);
    return S_OK;
}

HRESULT FakeShellWindow::BrowseObject(PCUIDLIST_RELATIVE idList, UINT flags) {
    if (flags != SBSP_SAMEBROWSER) return E_INVALIDARG;
    folder = PathOfIdList(idList);
    navigations.push_back(folder);
    return S_OK;
}

HRESULT FakeShellWindow::GetWindow(HWND* window) {
    *window = tab != nullptr ? tab : handle;
    return S_OK;
}

HRESULT FakeShellWindows::QueryInterface(REFIID iid, void** out) {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IShellWindows) {
        return Hand(static_cast<IShellWindows*>(this), out);
    }
    return E_NOINTERFACE;
}

HRESULT FakeShellWindows::Item(VARIANT index, IDispatch** folder) {
    ++itemCalls;
    *folder = nullptr;
    if (FAILED(answer)) return answer;
    if (index.vt != VT_I4 || index.lVal < 0 || index.lVal >= static_cast<LONG>(entries.size())) {
        return S_FALSE;
    }
    return Hand(static_cast<IDispatch*>(static_cast<IWebBrowserApp*>(entries[index.lVal])),
                reinterpret_cast<void**>(folder));
}

HRESULT FakeDesktopFolder::QueryInterface(REFIID iid, void** out) {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IShellFolder)
        return Hand(static_cast<IShellFolder*>(this), out);
    return E_NOINTERFACE;
}

HRESULT FakeDesktopFolder::ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG*,
                                            PIDLIST_RELATIVE* idList, ULONG*) {
    *idList = nullptr;
    if (onParse) onParse();
    if (missing.count(name)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    *idList = reinterpret_cast<PIDLIST_RELATIVE>(NewIdList(name));
    return S_OK;
}

HRESULT FakeDesktopFolder::GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY children,
                                           SFGAOF* attributes) {
    if (count != 1) return E_INVALIDARG;
    if (files.count(PathOfIdList(children[0]))) *attributes &= ~SFGAO_FOLDER;
    return S_OK;
}
