// Diagnostics for developers: narrow text on the standard error stream and the debugger.
#pragma once

#include <fstream>
#include <string>

// Optional extra sink; nothing in the program sets it, a developer may.
extern std::ofstream* logStream;

// printf-style; callers use the shape "%s:\n  (error) %s\n" (reporting function, message).
// An empty format or an empty expansion writes nothing anywhere.
void ReportError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The system's text for the calling thread's last error (with its own line break),
// or "" when there is no error or no text for it.
std::string GetLastErrorText();
