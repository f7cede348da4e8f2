#include "platform/libraries.h"

namespace platform {

FARPROC SystemFunction(const wchar_t* dll, const char* name) {
    HMODULE module = ::LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module != nullptr ? ::GetProcAddress(module, name) : nullptr;
}

}  // namespace platform
