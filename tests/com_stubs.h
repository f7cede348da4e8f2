// Shell interfaces with every method answering E_NOTIMPL, so the fakes in the tests
// and the stand-in shell-windows DLL implement only what the program calls.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <servprov.h>
#include <shobjidl.h>

#define STUB(name, ...)                                    \
    HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
        return E_NOTIMPL;                                  \
    }

// One open folder window as the shell's collection shows it.
struct ShellWindowStubs : IWebBrowserApp,
                          IServiceProvider,
                          IShellBrowser,
                          IShellView,
                          IFolderView,
                          IPersistFolder2 {
    virtual ~ShellWindowStubs() = default;
    STUB(GetTypeInfoCount, UINT*)
    STUB(GetTypeInfo, UINT, LCID, ITypeInfo**)
    STUB(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
    STUB(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    STUB(GoBack)
    STUB(GoForward)
    STUB(GoHome)
    STUB(GoSearch)
    STUB(Navigate, BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*)
    STUB(Refresh)
    STUB(Refresh2, VARIANT*)
    STUB(Stop)
    STUB(get_Application, IDispatch**)
    STUB(get_Parent, IDispatch**)
    STUB(get_Container, IDispatch**)
    STUB(get_Document, IDispatch**)
    STUB(get_TopLevelContainer, VARIANT_BOOL*)
    STUB(get_Type, BSTR*)
    STUB(get_Left, LONG*)
    STUB(put_Left, LONG)
    STUB(get_Top, LONG*)
    STUB(put_Top, LONG)
    STUB(get_Width, LONG*)
    STUB(put_Width, LONG)
    STUB(get_Height, LONG*)
    STUB(put_Height, LONG)
    STUB(get_LocationName, BSTR*)
    STUB(get_LocationURL, BSTR*)
    STUB(get_Busy, VARIANT_BOOL*)
    STUB(Quit)
    STUB(ClientToWindow, int*, int*)
    STUB(PutProperty, BSTR, VARIANT)
    STUB(GetProperty, BSTR, VARIANT*)
    STUB(get_Name, BSTR*)
    STUB(get_HWND, SHANDLE_PTR*)
    STUB(get_FullName, BSTR*)
    STUB(get_Path, BSTR*)
    STUB(get_Visible, VARIANT_BOOL*)
    STUB(put_Visible, VARIANT_BOOL)
    STUB(get_StatusBar, VARIANT_BOOL*)
    STUB(put_StatusBar, VARIANT_BOOL)
    STUB(get_StatusText, BSTR*)
    STUB(put_StatusText, BSTR)
    STUB(get_ToolBar, int*)
    STUB(put_ToolBar, int)
    STUB(get_MenuBar, VARIANT_BOOL*)
    STUB(put_MenuBar, VARIANT_BOOL)
    STUB(get_FullScreen, VARIANT_BOOL*)
    STUB(put_FullScreen, VARIANT_BOOL)
    STUB(QueryService, REFGUID, REFIID, void**)
    STUB(GetWindow, HWND*)
    STUB(ContextSensitiveHelp, BOOL)
    STUB(InsertMenusSB, HMENU, LPOLEMENUGROUPWIDTHS)
    STUB(SetMenuSB, HMENU, HOLEMENU, HWND)
    STUB(RemoveMenusSB, HMENU)
    STUB(SetStatusTextSB, LPCWSTR)
    STUB(EnableModelessSB, BOOL)
    STUB(TranslateAcceleratorSB, MSG*, WORD)
    STUB(BrowseObject, PCUIDLIST_RELATIVE, UINT)
    STUB(GetViewStateStream, DWORD, IStream**)
    STUB(GetControlWindow, UINT, HWND*)
    STUB(SendControlMsg, UINT, UINT, WPARAM, LPARAM, LRESULT*)
    STUB(QueryActiveShellView, IShellView**)
    STUB(OnViewWindowActive, IShellView*)
    STUB(SetToolbarItems, LPTBBUTTONSB, UINT, UINT)
    STUB(TranslateAccelerator, MSG*)
    STUB(EnableModeless, BOOL)
    STUB(UIActivate, UINT)
    STUB(CreateViewWindow, IShellView*, LPCFOLDERSETTINGS, IShellBrowser*, RECT*, HWND*)
    STUB(DestroyViewWindow)
    STUB(GetCurrentInfo, LPFOLDERSETTINGS)
    STUB(AddPropertySheetPages, DWORD, LPFNSVADDPROPSHEETPAGE, LPARAM)
    STUB(SaveViewState)
    STUB(SelectItem, PCUITEMID_CHILD, SVSIF)
    STUB(GetItemObject, UINT, REFIID, void**)
    STUB(GetCurrentViewMode, UINT*)
    STUB(SetCurrentViewMode, UINT)
    STUB(GetFolder, REFIID, void**)
    STUB(Item, int, PITEMID_CHILD*)
    STUB(ItemCount, UINT, int*)
    STUB(Items, UINT, REFIID, void**)
    STUB(GetSelectionMarkedItem, int*)
    STUB(GetFocusedItem, int*)
    STUB(GetItemPosition, PCUITEMID_CHILD, POINT*)
    STUB(GetSpacing, POINT*)
    STUB(GetDefaultSpacing, POINT*)
    STUB(GetAutoArrange)
    STUB(SelectItem, int, DWORD)
    STUB(SelectAndPositionItems, UINT, PCUITEMID_CHILD_ARRAY, POINT*, DWORD)
    STUB(GetClassID, CLSID*)
    STUB(Initialize, PCIDLIST_ABSOLUTE)
    STUB(GetCurFolder, PIDLIST_ABSOLUTE*)
};

struct ShellWindowsStubs : IShellWindows {
    virtual ~ShellWindowsStubs() = default;
    STUB(GetTypeInfoCount, UINT*)
    STUB(GetTypeInfo, UINT, LCID, ITypeInfo**)
    STUB(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)
    STUB(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    STUB(get_Count, LONG*)
    STUB(Item, VARIANT, IDispatch**)
    STUB(_NewEnum, IUnknown**)
    STUB(Register, IDispatch*, LONG, int, LONG*)
    STUB(RegisterPending, LONG, VARIANT*, VARIANT*, int, LONG*)
    STUB(Revoke, LONG)
    STUB(OnNavigate, LONG, VARIANT*)
    STUB(OnActivated, LONG, VARIANT_BOOL)
    STUB(FindWindowSW, VARIANT*, VARIANT*, int, LONG*, int, IDispatch**)
    STUB(OnCreated, LONG, IUnknown*)
    STUB(ProcessAttachDetach, VARIANT_BOOL)
};

struct ShellFolderStubs : IShellFolder {
    virtual ~ShellFolderStubs() = default;
    STUB(ParseDisplayName, HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*)
    STUB(EnumObjects, HWND, SHCONTF, IEnumIDList**)
    STUB(BindToObject, PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**)
    STUB(BindToStorage, PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**)
    STUB(CompareIDs, LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE)
    STUB(CreateViewObject, HWND, REFIID, void**)
    STUB(GetAttributesOf, UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*)
    STUB(GetUIObjectOf, HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void**)
    STUB(GetDisplayNameOf, PCUITEMID_CHILD, SHGDNF, STRRET*)
    STUB(SetNameOf, HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*)
};

#undef STUB
