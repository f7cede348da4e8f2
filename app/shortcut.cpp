#include "app/globals.h"

#include "res/resource.h"

#include <shlobj.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

HRESULT CreateStartupShortcut(const wchar_t* target, const wchar_t* linkPath) {
    ComPtr<IShellLinkW> link;
    HRESULT result =
        CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link));
    if (FAILED(result)) return result;
    link->SetPath(target);
    // The target may live in textBuffer: the link has taken its copy above.
    LoadStringW(appInstance, IDS_DESCRIPTION, textBuffer, 1024);
    link->SetDescription(textBuffer);
    ComPtr<IPersistFile> file;
    result = link.As(&file);
    if (SUCCEEDED(result)) result = file->Save(linkPath, TRUE);
    return result;
}
