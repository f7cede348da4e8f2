#include "folders/folders.h"

#include "platform/desktop.h"
#include "platform/files.h"

#include <cwchar>

namespace {

const char kUtf8Mark[] = "\xEF\xBB\xBF";
// Paths are formed in buffers of this many characters, terminator included.
constexpr size_t kPathBufferChars = 512;

bool FitsOneByte(const std::vector<std::wstring>& folders) {
    for (const std::wstring& folder : folders) {
        for (wchar_t c : folder) {
            if (c > 0xFF) return false;
        }
    }
    return true;
}

void AppendUtf8(std::string& out, unsigned long codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// A lone surrogate (file names may hold one) is written as its own three bytes,
// so every name survives the round trip.
void AppendUtf8(std::string& out, const std::wstring& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long c = static_cast<unsigned short>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const unsigned long low = static_cast<unsigned short>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, c);
    }
}

bool DecodeUtf8(const std::string& bytes, std::wstring& text) {
    text.clear();
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const size_t length = lead < 0x80             ? 1
                              : (lead & 0xE0) == 0xC0 ? 2
                              : (lead & 0xF0) == 0xE0 ? 3
                              : (lead & 0xF8) == 0xF0 ? 4
                                                      : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        unsigned long c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kSmallest[length] || c > 0x10FFFF) return false;
        if (c >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(c);
        }
        i += length;
    }
    return true;
}

bool IsUsablePath(const std::wstring& line) {
    return !line.empty() && line.size() <= kMaxFolderPathChars &&
           line.find(L'\0') == std::wstring::npos;
}

bool RoamingAppData(std::wstring& path) {
    PWSTR found = nullptr;
    const HRESULT result =
        platform::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &found);
    if (SUCCEEDED(result) && found != nullptr) path = found;
    platform::CoTaskMemFree(found);
    return SUCCEEDED(result) && !path.empty();
}

// The program's folder and its list file; false when either would not fit.
bool FolderListPaths(std::wstring& folder, std::wstring& file) {
    std::wstring appData;
    if (!RoamingAppData(appData)) return false;
    folder = appData + L"\\Zephyrine";
    file = folder + L"\\lastFolders.txt";
    return file.size() < kPathBufferChars;
}

}  // namespace

std::string EncodeFolderList(const std::vector<std::wstring>& folders) {
    std::string bytes;
    const bool oneByte = FitsOneByte(folders);
    if (!oneByte) bytes = kUtf8Mark;
    for (const std::wstring& folder : folders) {
        if (oneByte) {
            for (wchar_t c : folder) bytes += static_cast<char>(c);
        } else {
            AppendUtf8(bytes, folder);
        }
        bytes += "\r\n";
    }
    return bytes;
}

std::vector<std::wstring> DecodeFolderList(const std::string& bytes) {
    const bool utf8 = bytes.compare(0, 3, kUtf8Mark) == 0;
    std::vector<std::wstring> folders;
    size_t start = utf8 ? 3 : 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        size_t length = end - start;
        if (length > 0 && end < bytes.size() && bytes[end - 1] == '\r') --length;
        const std::string line = bytes.substr(start, length);
        std::wstring folder;
        if (utf8) {
            if (!DecodeUtf8(line, folder)) folder.clear();  // not UTF-8: skipped
        } else {
            for (char c : line) folder += static_cast<wchar_t>(static_cast<unsigned char>(c));
        }
        if (IsUsablePath(folder)) folders.push_back(std::move(folder));
        start = end + 1;
    }
    return folders;
}

bool SaveFolders(ExplorerManager& manager) {
    std::vector<std::wstring> entries;
    std::uint64_t generation = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        // A list on disk that could not be read yet is not replaced.
        if (manager.folders.empty() || manager.listReadFailed) return false;
        entries = manager.folders;
        generation = ++manager.saveGeneration;
        manager.foldersUnsaved = false;
    }
    // Written without the manager's lock (the folder may be on a file server): one save at
    // a time, and never an older list over a newer one.
    std::lock_guard<std::mutex> writing(manager.saveLock);
    if (generation < manager.savedGeneration) return true;
    std::wstring folder, file;
    bool saved = FolderListPaths(folder, file);
    if (saved) {
        if (!platform::FileExists(folder)) platform::MakeDirectory(folder);
        saved = platform::ReplaceFileWithBytes(file, EncodeFolderList(entries));
    }
    if (!saved) {
        manager.foldersUnsaved = true;
        return false;
    }
    manager.savedGeneration = generation;
    return true;
}

bool LoadFolders(ExplorerManager& manager) {
    // A file that could not be read is read again: it is not an empty list.
    if (!manager.folders.empty() && !manager.listReadFailed) return true;
    std::wstring folder, file;
    if (!FolderListPaths(folder, file) || !platform::FileExists(file)) {
        manager.listReadFailed = false;
        return !manager.folders.empty();
    }
    std::string bytes;
    bool truncated = false;
    if (!platform::ReadFileBytes(file, kMaxFolderFileBytes, bytes, truncated)) {
        manager.listReadFailed = true;  // a virus scanner or a backup holds it
        return true;
    }
    manager.listReadFailed = false;
    // The line cut off by the size bound is not a whole path.
    if (truncated) {
        const size_t lastLineEnd = bytes.rfind('\n');
        bytes.resize(lastLineEnd == std::string::npos ? 0 : lastLineEnd + 1);
    }
    std::vector<std::wstring> stored = DecodeFolderList(bytes);
    if (manager.folders.empty()) {
        manager.folders = std::move(stored);
    } else {
        // Folders were read from the windows while the file could not be: it tops them up.
        const std::vector<std::wstring> captured = manager.folders;
        TopUpFolders(manager.folders, stored);
        if (manager.folders != captured) manager.foldersUnsaved = true;
    }
    return true;
}
