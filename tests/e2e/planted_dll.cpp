// A DLL that a web page might drop into Downloads beside the program, named after one the
// program uses. Loaded, it leaves a file of its own name with ".loaded" appended.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DwmGetWindowAttribute(HWND, DWORD, void*, DWORD) {
    return E_FAIL;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t marker[MAX_PATH + 8] = {};
    GetModuleFileNameW(instance, marker, MAX_PATH);
    lstrcatW(marker, L".loaded");
    CloseHandle(CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return TRUE;
}
