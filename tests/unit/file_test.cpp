#include "folders/folders.h"
#include "platform/files.h"
#include "tests/unit/desktop_test.h"

#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>

using namespace std::string_literals;

namespace {

using Folders = std::vector<std::wstring>;

// The folder list file under a private roaming application-data folder.
struct FolderFileTest : DesktopTest {
    std::wstring appData, folder, file;

    void SetUp() override {
        DesktopTest::SetUp();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        appData = std::wstring(temp) + L"zephyrine-file-test";
        folder = appData + L"\\Zephyrine";
        file = folder + L"\\lastFolders.txt";
        RemoveAll();
        CreateDirectoryW(appData.c_str(), nullptr);
        Sim().roamingAppData = appData;
    }
    void TearDown() override { RemoveAll(); }
    void RemoveAll() {
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(file.c_str());
        RemoveDirectoryW((file + L".tmp").c_str());
        DeleteFileW((file + L".tmp").c_str());
        RemoveDirectoryW(folder.c_str());
        RemoveDirectoryW(appData.c_str());
    }
    std::string FileBytes() {
        std::string bytes;
        bool truncated = false;
        platform::ReadFileBytes(file, 64 << 20, bytes, truncated);
        return bytes;
    }
    void WriteFile(const std::string& bytes) {
        CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(platform::ReplaceFileWithBytes(file, bytes));
    }
    Folders Load() {
        manager.folders.clear();
        EXPECT_TRUE(LoadFolders(manager));
        return manager.folders;
    }
    Folders RoundTrip(const Folders& folders) {
        manager.folders = folders;
        EXPECT_TRUE(SaveFolders(manager));
        return Load();
    }
};

}  // namespace

TEST_F(FolderFileTest, SavesOneBytePerCharacterWithCrLf) {
    manager.folders = {L"C:\\Data", L"D:\\Caf\u00e9 Menu"};
    ASSERT_TRUE(SaveFolders(manager));
    const std::string expected(
        "\x43\x3A\x5C\x44\x61\x74\x61\x0D\x0A\x44\x3A\x5C\x43\x61\x66\xE9"
        "\x20\x4D\x65\x6E\x75\x0D\x0A",
        23);
    EXPECT_EQ(FileBytes(), expected);
    EXPECT_EQ(Load(), (Folders{L"C:\\Data", L"D:\\Caf\u00e9 Menu"}));
    EXPECT_FALSE(platform::FileExists(file + L".tmp"));
}

TEST_F(FolderFileTest, RoundTripsEveryKindOfName) {
    const Folders cases[] = {
        {L"  C:\\Leading and trailing blanks  ", L"\\\\server\\share\\x"},
        {L"D:\\\uBB38\uC11C", L"C:\\Data"},  // Korean beside Latin
        {L"E:\\\U0001F600 emoji", L"F:\\lone \xD800 surrogate"},
        {L"C:\\\u00FF\u0001control"},
    };
    for (const Folders& folders : cases) EXPECT_EQ(RoundTrip(folders), folders);
}

TEST_F(FolderFileTest, NamesBeyondOneByteAreWrittenAsUtf8AfterTheMark) {
    manager.folders = {L"D:\\\uBB38\uC11C", L"C:\\Caf\u00e9"};
    ASSERT_TRUE(SaveFolders(manager));
    EXPECT_EQ(FileBytes(),
              "\xEF\xBB\xBF"
              "D:\\\xEB\xAC\xB8\xEC\x84\x9C\r\nC:\\Caf\xC3\xA9\r\n");
}

TEST_F(FolderFileTest, ReadsAnyLineEndAndSkipsEmptyLines) {
    const struct {
        std::string bytes;
        Folders expected;
    } cases[] = {
        {"C:\\A\r\nD:\\B\r\n", {L"C:\\A", L"D:\\B"}},
        {"C:\\A\nD:\\B\n", {L"C:\\A", L"D:\\B"}},
        {"C:\\A\r\nD:\\B", {L"C:\\A", L"D:\\B"}},
        {"\r\n\r\nC:\\A\n\n\r\nD:\\B\r\n\r\n", {L"C:\\A", L"D:\\B"}},
        {"", {}},
        {"\xEF\xBB\xBF"
         "C:\\A\r\n\xC3\x28\r\nC:\xC0\xAF\r\nC:\xE0\x80\xAF\r\nD:\\B\r\n",
         {L"C:\\A", L"D:\\B"}},
        {"C:\\A\r\nC:\\B\0C\r\nD:\\E\r\n"s, {L"C:\\A", L"D:\\E"}},
        {"C:\\A\r\n" + std::string(40000, 'x') + "\r\nD:\\B", {L"C:\\A", L"D:\\B"}},
    };
    for (const auto& c : cases) {
        WriteFile(c.bytes);
        EXPECT_EQ(Load(), c.expected) << c.bytes.substr(0, 40);
    }
}

TEST_F(FolderFileTest, HugeOrGarbageFilesLoadOnlyTheBoundedPart) {
    std::string lines;
    while (lines.size() < 3 * kMaxFolderFileBytes) lines += "C:\\Some Folder\r\n";
    WriteFile(lines);
    const Folders loaded = Load();
    EXPECT_FALSE(loaded.empty());
    EXPECT_LE(loaded.size(), kMaxFolderFileBytes / 16 + 1);
    for (const auto& entry : loaded) ASSERT_EQ(entry, L"C:\\Some Folder") << "no cut-off line";

    std::mt19937 random(7);
    std::string garbage(5 << 20, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    WriteFile(garbage);
    for (const auto& entry : Load()) {
        EXPECT_LE(entry.size(), kMaxFolderPathChars);
        EXPECT_EQ(entry.find(L'\0'), std::wstring::npos);
    }
}

TEST_F(FolderFileTest, EmptyListWritesNothing) {
    EXPECT_FALSE(SaveFolders(manager));
    EXPECT_FALSE(platform::FileExists(folder));

    WriteFile("C:\\Kept\r\n");
    EXPECT_FALSE(SaveFolders(manager));
    EXPECT_EQ(FileBytes(), "C:\\Kept\r\n");
}

TEST_F(FolderFileTest, AReaderIsWaitedForAndAFailedWriteKeepsTheOldList) {
    WriteFile("C:\\Kept\r\n");
    manager.listRead = true;
    // A reader without delete sharing (a virus scanner) holds the file for a moment.
    HANDLE reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::thread closer([reader] {
        Sleep(60);
        CloseHandle(reader);
    });
    manager.folders = {L"D:\\New"};
    EXPECT_TRUE(SaveFolders(manager));
    closer.join();
    EXPECT_EQ(FileBytes(), "D:\\New\r\n");

    // One that keeps it open is waited for only a bounded time.
    reader = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
    manager.folders = {L"E:\\Newer"};
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(SaveFolders(manager));
    EXPECT_LT(GetTickCount64() - start, 1000u);
    CloseHandle(reader);
    EXPECT_EQ(FileBytes(), "D:\\New\r\n");

    // Something in the way of the temporary file makes every write fail.
    ASSERT_TRUE(CreateDirectoryW((file + L".tmp").c_str(), nullptr));
    EXPECT_FALSE(SaveFolders(manager));
    EXPECT_EQ(FileBytes(), "D:\\New\r\n");
}

TEST_F(FolderFileTest, LoadingLeavesAFilledListAndMissingFilesAlone) {
    EXPECT_FALSE(LoadFolders(manager)) << "no file";
    EXPECT_FALSE(platform::FileExists(folder)) << "loading creates no folder";

    manager.folders = {L"C:\\Mine"};
    Sim().ClearRecord();
    EXPECT_TRUE(LoadFolders(manager));
    EXPECT_EQ(Sim().calls, 0) << "the file system is not touched";
    EXPECT_EQ(manager.folders, Folders{L"C:\\Mine"});
}

TEST_F(FolderFileTest, UnknownOrOverlongLocationTouchesNoFile) {
    manager.folders = {L"C:\\Data"};
    Sim().roamingAppData.clear();
    EXPECT_FALSE(SaveFolders(manager));

    const std::wstring deep = appData + L"\\" + std::wstring(480, L'x');
    CreateDirectoryW(deep.c_str(), nullptr);
    Sim().roamingAppData = deep;
    EXPECT_FALSE(SaveFolders(manager)) << "the file path would not fit";
    EXPECT_FALSE(platform::FileExists(deep + L"\\Zephyrine"));
    manager.folders.clear();
    EXPECT_FALSE(LoadFolders(manager));
    RemoveDirectoryW(deep.c_str());
}

TEST_F(FolderFileTest, AFileThatCannotBeReadNowIsNotAnEmptyList) {
    HANDLE holder = nullptr;
    const auto hold = [&](bool on) {
        if (on) holder = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, 0);
        if (!on) CloseHandle(holder);
    };
    const std::pair<const char*, std::function<void(bool)>> causes[] = {
        {"a backup holds it", hold},
        {"its server does not answer",
         [](bool on) { Sim().fileError = on ? ERROR_BAD_NETPATH : 0; }},
        {"access denied", [](bool on) { Sim().fileError = on ? ERROR_ACCESS_DENIED : 0; }},
        {"AppData not found", [&](bool on) { Sim().roamingAppData = on ? L"" : appData; }},
    };
    for (const auto& [name, cause] : causes) {
        SCOPED_TRACE(name);
        WriteFile("C:\\Kept\r\nD:\\Also\r\n");
        manager.folders.clear();
        manager.listRead = false;
        cause(true);
        LoadFolders(manager);
        manager.folders = {L"E:\\Read"};  // read from a window meanwhile
        EXPECT_FALSE(SaveFolders(manager)) << "the file is not replaced before it was read";
        cause(false);
        EXPECT_EQ(FileBytes(), "C:\\Kept\r\nD:\\Also\r\n");
        EXPECT_TRUE(LoadFolders(manager)) << "read again";
        EXPECT_EQ(manager.folders, (Folders{L"E:\\Read", L"C:\\Kept", L"D:\\Also"}));
    }
    // Quit reads once more, within a second: a file held for a moment costs nothing.
    manager.folders = {L"F:\\Last"};
    manager.listRead = false;
    hold(true);
    std::thread closer([&] {
        Sleep(300);
        hold(false);
    });
    EXPECT_TRUE(FinishListFile(manager, 1000));
    closer.join();
    EXPECT_EQ(FileBytes(), "F:\\Last\r\nC:\\Kept\r\nD:\\Also\r\n");
}

TEST_F(FolderFileTest, ASlowWriteHoldsUpNeitherThePollStepNorTheSessionEndAndTheNewestListWins) {
    LoadFolders(manager);
    HANDLE slow = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Sim().onFileMove = [slow] { WaitForSingleObject(slow, 10000); };
    manager.folders = {L"C:\\Older"};
    manager.foldersUnsaved = true;
    auto step = std::async(std::launch::async, [&] { Tick(manager); });
    EXPECT_EQ(step.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "the poll step does not write";
    manager.folders = {L"C:\\Newer"};
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(FinishListFile(manager, 1000)) << "the older write is still under way";
    EXPECT_LT(GetTickCount64() - start, 1500u);
    SetEvent(slow);
    EXPECT_TRUE(WaitForListFile(5000));
    EXPECT_EQ(FileBytes(), "C:\\Newer\r\n");

    // Two saves at once: an older one waits while a newer one is written first (which of
    // the two the lock lets in first is up to the system, so a few rounds).
    int moves = 0;
    Sim().onFileMove = [&] {
        if (moves++ == 0) WaitForSingleObject(slow, 10000);
    };
    const auto saveWith = [&](const wchar_t* folder) {
        {
            std::lock_guard<std::recursive_mutex> guard(manager.lock);
            manager.folders = {folder};
        }
        SaveFolders(manager);
    };
    for (int round = 0; round < 4; ++round) {
        ResetEvent(slow);
        moves = 0;
        std::thread writer([&] { saveWith(L"C:\\Blocking"), saveWith(L"C:\\Newest"); });
        Sleep(50);
        std::thread older([&] { saveWith(L"C:\\Older"); });
        Sleep(50);
        SetEvent(slow);
        writer.join(), older.join();
        EXPECT_EQ(FileBytes(), "C:\\Newest\r\n");
    }
    Sim().onFileMove = nullptr;
    CloseHandle(slow);
}
