// Whole-file reads and replacing writes, for the folder list file.
#pragma once

#include <string>

namespace platform {

bool FileExists(const std::wstring& path);
// Missing only when Windows says so (file or path not found): a server that does not
// answer, or a folder the user may not read, says nothing of the file.
enum class FileState { Found, Missing, Unknown };
FileState FindFile(const std::wstring& path);
bool MakeDirectory(const std::wstring& path);

// Reads at most maxBytes; truncated tells whether the file held more.
bool ReadFileBytes(const std::wstring& path, size_t maxBytes, std::string& bytes, bool& truncated);

// Writes the bytes to a temporary file beside path and moves it over path in one step,
// so a crash or a failed write never leaves a half-written file. On failure the old
// file is untouched and the temporary file is removed. A reader that holds the file open
// for a moment is waited for, at most about a quarter of a second.
bool ReplaceFileWithBytes(const std::wstring& path, const std::string& bytes);

}  // namespace platform
