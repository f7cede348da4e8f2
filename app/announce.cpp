#include "app/globals.h"

#include "res/resource.h"

#include <shellapi.h>

#include <cwchar>

void AnnounceRun(HINSTANCE instance, bool starting) {
    wchar_t page[1024] = {};
    LoadStringW(instance, IDS_PRODUCT_PAGE, page, 1024);
    wchar_t address[2048];
    swprintf(address, 2048, L"%ls&version=%ls&at=%ls", page, kVersion,
             starting ? L"start" : L"end");
    // NOASYNC: the launch is done when this returns, also when the process ends right after.
    // NO_UI: where nothing handles the address, Windows asks nothing.
    SHELLEXECUTEINFOW launch{};
    launch.cbSize = sizeof(launch);
    launch.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    launch.lpVerb = L"open";
    launch.lpFile = address;
    launch.nShow = SW_SHOW;
    ShellExecuteExW(&launch);
}
