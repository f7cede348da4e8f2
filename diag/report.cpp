#include "diag/report.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

std::ofstream* logStream = nullptr;

void ReportError(const char* format, ...) {
    if (format == nullptr || format[0] == '\0') return;

    std::vector<char> text(2048, '\0');
    va_list args;
    va_start(args, format);
    va_list measureArgs;
    va_copy(measureArgs, args);
    const int length = std::vsnprintf(nullptr, 0, format, measureArgs);
    va_end(measureArgs);
    // Long reports are written whole: the buffer grows to the measured length.
    if (length >= static_cast<int>(text.size())) text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);

    if (text[0] == '\0') return;
    std::fputs(text.data(), stderr);
    std::fflush(stderr);
    OutputDebugStringA(text.data());
    if (logStream != nullptr && logStream->is_open()) {
        *logStream << text.data();
        logStream->flush();
    }
}

std::string GetLastErrorText() {
    const DWORD code = GetLastError();
    if (code == 0) return std::string();
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer),
        0, nullptr);
    std::string text =
        length != 0 && buffer != nullptr ? std::string(buffer, length) : std::string();
    LocalFree(buffer);
    return text;
}
