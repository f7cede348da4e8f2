#include "platform/files.h"

#include "platform/desktop.h"
#include "platform/handle.h"

#include <shlwapi.h>

#include <algorithm>

namespace platform {

bool FileExists(const std::wstring& path) {
    return ::PathFileExistsW(path.c_str()) != FALSE;
}

FileState FindFile(const std::wstring& path) {
    if (platform::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return FileState::Found;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileState::Missing
                                                                          : FileState::Unknown;
}

bool MakeDirectory(const std::wstring& path) {
    return ::CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

bool ReadFileBytes(const std::wstring& path, size_t maxBytes, std::string& bytes, bool& truncated) {
    bytes.clear();
    truncated = false;
    // Shared for deletion too: reading the list never stands in the way of replacing it.
    UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return false;
    const auto fileSize = static_cast<unsigned long long>(size.QuadPart);
    truncated = fileSize > maxBytes;
    bytes.resize(static_cast<size_t>(std::min<unsigned long long>(fileSize, maxBytes)));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 16));
        if (!::ReadFile(file.get(), &bytes[done], chunk, &read, nullptr)) return false;
        if (read == 0) break;  // the file shrank while we read it
        done += read;
    }
    bytes.resize(done);
    return true;
}

namespace {

// A file open in another program without delete sharing (a virus scanner, a backup, an
// editor reading it) cannot be replaced until it is closed. Such a reader is usually gone
// within milliseconds: the move is tried again for a short, bounded while.
constexpr int kMoveAttempts = 10;
constexpr DWORD kMoveRetryMs = 25;

bool MoveOver(const std::wstring& from, const std::wstring& to) {
    for (int attempt = 1;; ++attempt) {
        if (platform::MoveFileExW(from.c_str(), to.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = ::GetLastError();
        // A read-only file refuses the move the same way, and waiting will not change it.
        const DWORD attributes = ::GetFileAttributesW(to.c_str());
        const bool readOnly =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        const bool inUse =
            (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) && !readOnly;
        if (!inUse || attempt == kMoveAttempts) return false;
        ::Sleep(kMoveRetryMs);
    }
}

}  // namespace

bool ReplaceFileWithBytes(const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = path + L".tmp";
    bool written = false;
    {
        UniqueHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return false;
        size_t done = 0;
        written = true;
        while (written && done < bytes.size()) {
            DWORD wrote = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 16));
            written = ::WriteFile(file.get(), bytes.data() + done, chunk, &wrote, nullptr) &&
                      wrote == chunk;
            done += wrote;
        }
        written = written && ::FlushFileBuffers(file.get());
    }
    if (written && MoveOver(temporary, path)) return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}

}  // namespace platform
