#include "app/globals.h"

#include "res/resource.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            aboutDialog = dialog;
            LoadStringW(appInstance, IDS_USAGE, textBuffer, 1024);
            SetDlgItemTextW(dialog, IDC_USAGE, textBuffer);
            // The resource text is read afresh each time, so the version appears once.
            GetDlgItemTextW(dialog, IDC_VERSION, textBuffer, 1024);
            wchar_t line[1024];
            swprintf(line, 1024, L"%ls %ls", textBuffer, kVersion);
            SetDlgItemTextW(dialog, IDC_VERSION, line);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                aboutDialog = nullptr;
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == NM_CLICK || header->code == NM_RETURN) {
                const LITEM item = reinterpret_cast<const NMLINK*>(lParam)->item;
                if (item.iLink == 0) {
                    ShellExecuteW(nullptr, L"open", item.szUrl, nullptr, nullptr, SW_SHOW);
                }
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}
