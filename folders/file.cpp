#include "folders/folders.h"

#include "platform/desktop.h"
#include "platform/files.h"

#include <chrono>
#include <condition_variable>
#include <cwchar>
#include <mutex>

namespace {

const char kUtf8Mark[] = "\xEF\xBB\xBF";
// Paths are formed in buffers of this many characters, terminator included.
constexpr size_t kPathBufferChars = 512;
// At Quit, a list file that could not be read is tried again this often.
constexpr DWORD kListRetryMs = 100;

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

// The program's folder and its list file under appData; false when they would not fit.
bool ListPathsIn(const std::wstring& appData, std::wstring& folder, std::wstring& file) {
    folder = appData + L"\\Zephyrine";
    file = folder + L"\\lastFolders.txt";
    return file.size() < kPathBufferChars;
}

bool FolderListPaths(std::wstring& folder, std::wstring& file) {
    std::wstring appData;
    return RoamingAppData(appData) && ListPathsIn(appData, folder, file);
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

namespace {

// Where the list file is and whether it is there: missing only when Windows says so, or
// when its path could never be formed.
platform::FileState FindListFile(std::wstring& folder, std::wstring& file) {
    std::wstring appData;
    if (!RoamingAppData(appData)) return platform::FileState::Unknown;
    if (!ListPathsIn(appData, folder, file)) return platform::FileState::Missing;
    return platform::FindFile(file);
}

bool ListUsable(const ExplorerManager& manager) {
    return manager.listRead && !manager.listReadFailed;
}

}  // namespace

namespace {

// A copy of the list to write, numbered.
struct ListSnapshot {
    std::vector<std::wstring> entries;
    std::uint64_t generation = 0;
};

// With the lock held. False when there is nothing to save, or the list on disk has not been
// read yet and must not be replaced.
bool TakeSnapshot(ExplorerManager& manager, ListSnapshot& snapshot) {
    if (manager.folders.empty() || !ListUsable(manager)) return false;
    snapshot.entries = manager.folders;
    snapshot.generation = ++manager.saveGeneration;
    manager.foldersUnsaved = false;
    return true;
}

// Written without the manager's lock (the folder may be on a file server): one save at a
// time, and never an older list over a newer one.
bool WriteSnapshot(ExplorerManager& manager, const ListSnapshot& snapshot) {
    std::lock_guard<std::mutex> writing(manager.saveLock);
    if (snapshot.generation < manager.savedGeneration) return true;
    std::wstring folder, file;
    bool saved = FolderListPaths(folder, file);
    if (saved) {
        if (!platform::FileExists(folder)) platform::MakeDirectory(folder);
        saved = platform::ReplaceFileWithBytes(file, EncodeFolderList(snapshot.entries));
    }
    if (!saved) {
        manager.foldersUnsaved = true;
        return false;
    }
    manager.savedGeneration = snapshot.generation;
    return true;
}

}  // namespace

bool SaveFolders(ExplorerManager& manager) {
    bool read = false;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        read = ListUsable(manager);
    }
    // The list on disk is the base of this one: read before it is replaced.
    if (!read) LoadFolders(manager);
    ListSnapshot snapshot;
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (!TakeSnapshot(manager, snapshot)) return false;
    }
    return WriteSnapshot(manager, snapshot);
}

bool LoadFolders(ExplorerManager& manager) {
    {
        std::lock_guard<std::recursive_mutex> guard(manager.lock);
        if (ListUsable(manager) && !manager.folders.empty()) return true;
    }
    // The file is found and read without the manager's lock: it may be on a file server.
    std::wstring folder, file;
    const platform::FileState state = FindListFile(folder, file);
    std::string bytes;
    bool truncated = false;
    const bool read = state == platform::FileState::Found &&
                      platform::ReadFileBytes(file, kMaxFolderFileBytes, bytes, truncated);
    // The line cut off by the size bound is not a whole path.
    if (truncated) {
        const size_t lastLineEnd = bytes.rfind('\n');
        bytes.resize(lastLineEnd == std::string::npos ? 0 : lastLineEnd + 1);
    }
    std::vector<std::wstring> stored = DecodeFolderList(bytes);

    std::lock_guard<std::recursive_mutex> guard(manager.lock);
    if (state == platform::FileState::Missing) {
        manager.listRead = true;
        manager.listReadFailed = false;
        return !manager.folders.empty();
    }
    if (!read) {
        // Not an empty list: it is read again, and not replaced till then.
        manager.listReadFailed = true;
        return true;
    }
    manager.listRead = true;
    manager.listReadFailed = false;
    if (manager.folders.empty()) {
        manager.folders = std::move(stored);
    } else {
        // Folders were read from the windows before the file was: it tops them up.
        const std::vector<std::wstring> captured = manager.folders;
        TopUpFolders(manager.folders, stored);
        if (manager.folders != captured) manager.foldersUnsaved = true;
    }
    return true;
}

namespace {

// What the list file's thread has been asked to do. It lives as long as the process: a
// write to a server that does not answer may outlive Quit.
struct ListWork {
    std::mutex mutex;
    std::condition_variable asked;
    std::condition_variable done;
    ExplorerManager* manager = nullptr;
    bool started = false;
    bool readAsked = false;
    bool saveAsked = false;
    std::vector<ListSnapshot> snapshots;  // copied by the one who asked, written in order
    bool busy = false;
};

ListWork& Work() {
    static ListWork* const work = new ListWork;
    return *work;
}

bool Asked(const ListWork& work) {
    return work.readAsked || work.saveAsked || !work.snapshots.empty();
}

DWORD WINAPI ListFileThread(void*) {
    ListWork& work = Work();
    std::unique_lock<std::mutex> guard(work.mutex);
    for (;;) {
        work.asked.wait(guard, [&] { return Asked(work); });
        const bool read = work.readAsked, save = work.saveAsked;
        std::vector<ListSnapshot> snapshots;
        snapshots.swap(work.snapshots);
        work.readAsked = work.saveAsked = false;
        work.busy = true;
        ExplorerManager& manager = *work.manager;
        guard.unlock();
        if (read) LoadFolders(manager);
        for (const ListSnapshot& snapshot : snapshots) WriteSnapshot(manager, snapshot);
        if (save) SaveFolders(manager);
        guard.lock();
        work.busy = false;
        work.done.notify_all();
    }
}

// A request made while the thread works is carried out after it: a newer save is never
// dropped.
void Ask(ExplorerManager& manager, bool read, bool save, ListSnapshot* snapshot = nullptr) {
    ListWork& work = Work();
    std::lock_guard<std::mutex> guard(work.mutex);
    work.manager = &manager;
    if (!work.started) {
        HANDLE thread = CreateThread(nullptr, 0, ListFileThread, nullptr, 0, nullptr);
        if (thread == nullptr) return;
        CloseHandle(thread);
        work.started = true;
    }
    work.readAsked = work.readAsked || read;
    work.saveAsked = work.saveAsked || save;
    if (snapshot != nullptr) work.snapshots.push_back(std::move(*snapshot));
    work.asked.notify_one();
}

}  // namespace

void AskToReadList(ExplorerManager& manager) {
    Ask(manager, true, false);
}

void AskToSaveList(ExplorerManager& manager) {
    Ask(manager, false, true);
}

bool WaitForListFile(DWORD waitMs) {
    ListWork& work = Work();
    std::unique_lock<std::mutex> guard(work.mutex);
    return work.done.wait_for(guard, std::chrono::milliseconds(waitMs),
                              [&] { return !work.busy && !Asked(work); });
}

bool FinishListFile(ExplorerManager& manager, DWORD waitMs) {
    const ULONGLONG start = GetTickCount64();
    const auto left = [&] {
        const ULONGLONG waited = GetTickCount64() - start;
        return waitMs > waited ? static_cast<DWORD>(waitMs - waited) : 0;
    };
    for (;;) {
        // The list is copied here: at the end of the session this thread may hold the
        // manager's lock itself ("2 Explorers" waiting for a window), which the list file's
        // thread would wait for.
        ListSnapshot snapshot;
        bool copied = false, usable = false;
        {
            std::lock_guard<std::recursive_mutex> guard(manager.lock);
            copied = TakeSnapshot(manager, snapshot);
            usable = ListUsable(manager);
        }
        if (copied) {
            Ask(manager, false, false, &snapshot);
            return WaitForListFile(left());
        }
        if (usable) return true;  // nothing to save
        // Not read yet, or it could not be read: once more, within the bound.
        Ask(manager, true, false);
        if (!WaitForListFile(left()) || left() < kListRetryMs) return false;
        {
            std::lock_guard<std::recursive_mutex> guard(manager.lock);
            if (ListUsable(manager)) continue;
        }
        Sleep(kListRetryMs);
    }
}
