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
    ShellExecuteW(nullptr, L"open", address, nullptr, nullptr, SW_SHOW);
}
