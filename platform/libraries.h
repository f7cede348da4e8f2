// DLLs that are not KnownDLLs are loaded at run time, from System32 alone: a DLL of the
// same name beside the exe (in Downloads, say) is never taken.
#pragma once

#include <windows.h>

namespace platform {

// A function of a DLL in System32 (or, for comctl32, the version the manifest asks for).
// Null when the DLL or the function is missing; the DLL then stays loaded.
FARPROC SystemFunction(const wchar_t* dll, const char* name);

}  // namespace platform
