// The real Zephyrine.exe under Wine, driven as a user would: through its tray menu
// (the callback message a click on the icon sends), its dialogs and its hidden window.
#include "explorers/explorers.h"
#include "tests/e2e/wine_support.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <wrl/client.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <cwctype>

using Microsoft::WRL::ComPtr;

namespace {

enum Entry { FourExplorers, TwoExplorers, ZeroExplorers, Limit, StartUp, About, Quit };

const std::string kBuild = ZEPHYRINE_BINARY_DIR_UNIX;
const std::wstring kMenuLog = WindowsPathOf(kBuild + "/tests/e2e/menus.txt");
const std::wstring kTrayLog = WindowsPathOf(kBuild + "/tests/e2e/tray.txt");
const std::wstring kVersion = L"" ZEPHYRINE_VERSION;
const std::wstring kEnglishPage = L"http://zephyrine.example/en/tools.html?file=Zephyrine.md";

// Where the stand-in browser records addresses; the test's environment names it, since
// programs started by Wine inherit the Unix environment of the test.
std::wstring UrlLog() {
    wchar_t path[MAX_PATH] = {};
    GetEnvironmentVariableW(L"ZEPHYRINE_URL_LOG", path, MAX_PATH);
    std::string unixPath;
    for (const wchar_t* c = path; *c; ++c) unixPath += static_cast<char>(*c);
    return WindowsPathOf(unixPath);
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::ifstream in(path.c_str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The menus the program showed, each as its items' "text<TAB>state" lines.
std::vector<std::vector<std::string>> ShownMenus() {
    std::vector<std::vector<std::string>> menus(1);
    for (const std::string& line : ReadLines(kMenuLog)) {
        if (line.empty()) {
            menus.emplace_back();
        } else {
            menus.back().push_back(line);
        }
    }
    menus.pop_back();
    return menus;
}

unsigned StateOf(const std::vector<std::string>& menu, const std::string& text) {
    for (const std::string& item : menu) {
        if (item.compare(0, text.size() + 1, text + "\t") == 0) {
            return static_cast<unsigned>(std::stoul(item.substr(text.size() + 1)));
        }
    }
    ADD_FAILURE() << "no item " << text;
    return 0;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    SHGetKnownFolderPath(id, 0, nullptr, &path);
    std::wstring result = path ? path : L"";
    CoTaskMemFree(path);
    return result;
}

std::wstring DialogText(HWND dialog, int id) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

// Reads a shell link's target and description.
bool ReadShortcut(const std::wstring& path, std::wstring& target, std::wstring& description) {
    ComApartment apartment;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&file)) || FAILED(file->Load(path.c_str(), STGM_READ))) {
        return false;
    }
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, 0);
    target = text;
    link->GetDescription(text, MAX_PATH);
    description = text;
    return true;
}

struct AppTest : ::testing::Test {
    std::wstring program = TestDirectory() + L"\\..\\..\\Zephyrine.exe";
    std::wstring listFile = KnownFolder(FOLDERID_RoamingAppData) + L"\\Zephyrine\\lastFolders.txt";

    static void SetUpTestSuite() {
        ASSERT_TRUE(RegisterStandInShellWindows());
        // The "browser" that the product page opens in records the address.
        const std::wstring browser =
            WindowsPathOf(ZEPHYRINE_SOURCE_DIR_UNIX "/tests/e2e/record_url");
        const std::wstring unixBrowser(browser.begin() + 2, browser.end());
        std::wstring value;
        for (wchar_t c : unixBrowser) value += c == L'\\' ? L'/' : c;
        RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\WineBrowser", L"Browsers", REG_SZ,
                        value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    void SetUp() override {
        DeleteFileW(UrlLog().c_str());
        DeleteFileW(kMenuLog.c_str());
        DeleteFileW(kTrayLog.c_str());
    }

    Process StartApp(std::vector<std::wstring> environment = {}) {
        environment.push_back(L"ZEPHYRINE_MENU_LOG=" + kMenuLog);
        environment.push_back(L"ZEPHYRINE_TRAY_LOG=" + kTrayLog);
        return Start(program, L"", environment);
    }
    HWND MainWindowOf(const Process& app) {
        HWND window = nullptr;
        WaitUntil([&] {
            return (window = FindWindowOf(app.id(), L"ZephyrineClass", nullptr, false)) != nullptr;
        });
        return window;
    }
    std::vector<std::string> Announced(size_t expected) {
        WaitUntil([&] { return ReadLines(UrlLog()).size() >= expected; });
        Sleep(200);
        return ReadLines(UrlLog());
    }
    std::vector<std::string> LastMenu() {
        WaitUntil([&] { return !ShownMenus().empty(); });
        const auto menus = ShownMenus();
        if (menus.empty()) {
            ADD_FAILURE() << "no menu was shown";
            return {};
        }
        return menus.back();
    }
    void QuitApp(Process& app, HWND main) {
        ASSERT_TRUE(ChooseTrayEntry(main, Quit));
        EXPECT_EQ(app.Wait(15000), 0u);
    }
};

size_t TrayIconsAdded() {
    const auto calls = ReadLines(kTrayLog);
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), std::to_string(NIM_ADD)));
}

// A text of the exe's version resource (English, Unicode).
std::wstring VersionText(const std::wstring& exe, const wchar_t* name) {
    std::vector<BYTE> info(GetFileVersionInfoSizeW(exe.c_str(), nullptr));
    if (info.empty() ||
        !GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data())) {
        return L"";
    }
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueW(info.data(), key.c_str(), &value, &length) || length == 0) return L"";
    return static_cast<const wchar_t*>(value);
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

}  // namespace

TEST_F(AppTest, RunsOnceAnnouncesStartAndEndAndQuitsWithZero) {
    // One version everywhere: the exe's resource, the About dialog (below) and the address.
    EXPECT_EQ(VersionText(program, L"FileVersion"), kVersion);
    EXPECT_EQ(VersionText(program, L"ProductVersion"), kVersion);
    EXPECT_EQ(VersionText(program, L"CompanyName"), L"Zephyrine contributors");
    EXPECT_EQ(VersionText(program, L"OriginalFilename"), L"Zephyrine.exe");

    Process app = StartApp();
    HWND main = MainWindowOf(app);
    ASSERT_NE(main, nullptr);
    EXPECT_FALSE(IsWindowVisible(main)) << "the main window is never shown";

    Process second = StartApp();
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = FindWindowOf(second.id(), L"#32770")) != nullptr; }));
    EXPECT_EQ(TitleOf(box), L"Error");
    EXPECT_EQ(DialogText(box, 0xFFFF), L"Zephyrine is already running.");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(second.Wait(10000), 1u);

    EXPECT_FALSE(IsWindowVisible(main));
    QuitApp(app, main);
    const std::string page = Narrow(kEnglishPage);
    EXPECT_EQ(Announced(2),
              (std::vector<std::string>{page + "&version=" ZEPHYRINE_VERSION "&at=start",
                                        page + "&version=" ZEPHYRINE_VERSION "&at=end"}))
        << "the second instance announces nothing";
}

// The DLLs the exe names in its import table, in lower case.
std::vector<std::string> ImportedDlls(const std::wstring& exe) {
    HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    std::vector<std::string> names;
    if (image == nullptr) return names;
    auto* base = reinterpret_cast<BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR{3});
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const DWORD imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports);
         imports != 0 && dll->Name != 0; ++dll) {
        std::string name = reinterpret_cast<const char*>(base + dll->Name);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        names.push_back(name);
    }
    FreeLibrary(image);
    return names;
}

TEST_F(AppTest, SafeInDownloadsBesideAPlantedDllAndOneCopyPerUserSession) {
    const std::vector<std::string> knownDlls{"advapi32.dll", "gdi32.dll",   "kernel32.dll",
                                             "msvcrt.dll",   "ole32.dll",   "oleaut32.dll",
                                             "shell32.dll",  "shlwapi.dll", "user32.dll"};
    const auto imported = ImportedDlls(program);
    EXPECT_FALSE(imported.empty());
    for (const std::string& dll : imported) {
        EXPECT_NE(std::find(knownDlls.begin(), knownDlls.end(), dll), knownDlls.end()) << dll;
    }

    // Unzipped into Downloads, where a web page has dropped DLLs of names it uses: one the
    // program loads itself, one user32 loads by name once the program runs. Windows has no
    // built-in DLLs, so Wine is told to prefer a native uxtheme.dll as Windows would.
    const std::wstring downloads = TestDirectory() + L"\\downloads";
    CreateDirectoryW(downloads.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(program.c_str(), (downloads + L"\\Zephyrine.exe").c_str(), FALSE));
    for (const wchar_t* dll : {L"\\dwmapi.dll", L"\\uxtheme.dll"}) {
        ASSERT_TRUE(CopyFileW((TestDirectory() + L"\\dwmapi.dll").c_str(),
                              (downloads + dll).c_str(), FALSE));
        DeleteFileW((downloads + dll + L".loaded").c_str());
    }
    const wchar_t overrides[] = L"Software\\Wine\\AppDefaults\\Zephyrine.exe\\DllOverrides";
    RegSetKeyValueW(HKEY_CURRENT_USER, overrides, L"uxtheme", REG_SZ, L"native,builtin",
                    sizeof(L"native,builtin"));
    program = downloads + L"\\Zephyrine.exe";

    // Another user's copy holds the global name, and this user may not open it.
    PSECURITY_DESCRIPTOR denyAll = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1,
                                                                     &denyAll, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), denyAll, FALSE};
    HANDLE otherUser = CreateMutexW(&attributes, TRUE, L"Global\\Zephyrine");
    LocalFree(denyAll);

    Process explorer = StartStandIn(L"explorer.exe", L"--windows 2 --title C:\\windows", 2);
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    ASSERT_NE(main, nullptr);
    const auto group = WindowsOf(explorer.id());
    SetForegroundWindow(group[0]);
    Sleep(400);
    ShowWindow(group[1], SW_MINIMIZE);
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(group[0]) != FALSE; })) << "runs as usual";

    Process second = StartApp();
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (box = FindWindowOf(second.id(), L"#32770")) != nullptr; }));
    EXPECT_EQ(DialogText(box, 0xFFFF), L"Zephyrine is already running.");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(second.Wait(10000), 1u);
    QuitApp(app, main);
    CloseHandle(otherUser);
    RegDeleteKeyW(HKEY_CURRENT_USER, overrides);
    for (const wchar_t* marker : {L"\\dwmapi.dll.loaded", L"\\uxtheme.dll.loaded"}) {
        EXPECT_EQ(GetFileAttributesW((downloads + marker).c_str()), INVALID_FILE_ATTRIBUTES)
            << "never loaded";
    }
}

TEST_F(AppTest, MenuStatesFollowTheChosenCountAndTheLimit) {
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    ASSERT_TRUE(ChooseTrayEntry(main, -1));
    auto menu = LastMenu();
    ASSERT_EQ(menu.size(), 9u);
    EXPECT_EQ(menu[0], "4 Explorers\t0");
    EXPECT_TRUE(std::stoul(menu[3].substr(menu[3].find('\t') + 1)) & MF_SEPARATOR);
    EXPECT_EQ(menu[8], "Quit\t0");
    EXPECT_EQ(StateOf(menu, "Limit New Instance"), static_cast<unsigned>(MFS_DISABLED));

    ASSERT_TRUE(ChooseTrayEntry(main, TwoExplorers));
    ASSERT_TRUE(ChooseTrayEntry(main, Limit));
    ASSERT_TRUE(ChooseTrayEntry(main, -1));
    EXPECT_EQ(StateOf(LastMenu(), "Limit New Instance"), static_cast<unsigned>(MF_CHECKED));

    ASSERT_TRUE(ChooseTrayEntry(main, ZeroExplorers));
    ASSERT_TRUE(ChooseTrayEntry(main, -1));
    EXPECT_EQ(StateOf(LastMenu(), "Limit New Instance"),
              static_cast<unsigned>(MFS_DISABLED | MFS_CHECKED));

    // From the keyboard (Win+B, arrows, Enter on the icon) the menu opens too.
    PostMessageW(main, WM_USER + 2, 1, NIN_KEYSELECT);
    HWND keyMenu = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (keyMenu = FindWindowOf(app.id(), L"#32768")) != nullptr; }));
    PostMessageW(keyMenu, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitUntil([&] { return FindWindowOf(app.id(), L"#32768") == nullptr; }));
    QuitApp(app, main);
}

TEST_F(AppTest, StartUpItemCreatesAndDeletesTheShortcut) {
    const std::wstring link = KnownFolder(FOLDERID_Startup) + L"\\Zephyrine.lnk";
    DeleteFileW(link.c_str());
    Process app = StartApp();
    HWND main = MainWindowOf(app);

    ASSERT_TRUE(ChooseTrayEntry(main, StartUp));
    ASSERT_TRUE(
        WaitUntil([&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    std::wstring target, description;
    ASSERT_TRUE(ReadShortcut(link, target, description));
    wchar_t full[MAX_PATH];
    GetFullPathNameW(program.c_str(), MAX_PATH, full, nullptr);
    EXPECT_EQ(CompareStringOrdinal(target.c_str(), -1, full, -1, TRUE), CSTR_EQUAL)
        << Narrow(target);
    EXPECT_EQ(description,
              L"This app brings all file explorers to the top when any one of them gets focus");
    ASSERT_TRUE(ChooseTrayEntry(main, -1));
    EXPECT_EQ(StateOf(LastMenu(), "StartUp When Windows Starts"),
              static_cast<unsigned>(MF_CHECKED));

    ASSERT_TRUE(ChooseTrayEntry(main, StartUp));
    EXPECT_TRUE(
        WaitUntil([&] { return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; }));
    QuitApp(app, main);
}

TEST_F(AppTest, AboutDialogShowsVersionAndUsage) {
    Process app = StartApp();
    HWND main = MainWindowOf(app);

    // A click on the icon brings the hidden window to the foreground; Alt+"/" typed then
    // reaches the program's accelerator table.
    ASSERT_TRUE(ChooseTrayEntry(main, -1));
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == main; }));
    InjectKey(VK_MENU, false);
    InjectKey(VK_OEM_2, false);
    InjectKey(VK_OEM_2, true);
    InjectKey(VK_MENU, true);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = FindWindowOf(app.id(), L"#32770")) != nullptr; }));
    EXPECT_EQ(TitleOf(dialog), L"Zephyrine");
    EXPECT_EQ(DialogText(dialog, 1001), L"Zephyrine, Version " + kVersion);
    PostMessageW(main, WM_COMMAND, 104, 0);  // About again: still one dialog
    Sleep(300);
    EXPECT_EQ(WindowsOf(app.id(), L"#32770").size(), 1u);
    const std::wstring usage = DialogText(dialog, 1003);
    EXPECT_EQ(usage.rfind(L"\u318DUse WindowKey+1~9", 0), 0u) << Narrow(usage);
    EXPECT_NE(usage.find(L"located.\r\n\u318DTo minimized"), std::wstring::npos);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));

    // From the menu, and closed with Esc; the version appears once again.
    PostMessageW(main, WM_USER + 2, 1, WM_LBUTTONUP);
    HWND menu = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (menu = FindWindowOf(app.id(), L"#32768")) != nullptr; }));
    for (int i = 0; i <= About; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(WaitUntil([&] { return (dialog = FindWindowOf(app.id(), L"#32770")) != nullptr; }));
    EXPECT_EQ(DialogText(dialog, 1001), L"Zephyrine, Version " + kVersion);

    // Tab to the link and press Enter: the product page opens.
    HWND link = GetDlgItem(dialog, 1000);
    const DWORD dialogThread = GetWindowThreadProcessId(dialog, nullptr);
    const auto focused = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        return GetGUIThreadInfo(dialogThread, &info) ? info.hwndFocus : nullptr;
    };
    for (int i = 0; i < 4 && focused() != link; ++i) {
        PostMessageW(dialog, WM_KEYDOWN, VK_TAB, 0);
        WaitUntil([&] { return focused() != nullptr; }, 500);
        Sleep(100);
    }
    ASSERT_EQ(focused(), link);
    PostMessageW(link, WM_KEYDOWN, VK_RETURN, 0);
    // Waits for the page itself: the end page of the test before may still reach the log.
    EXPECT_TRUE(WaitUntil([&] {
        const auto pages = ReadLines(UrlLog());
        return std::find(pages.begin(), pages.end(), Narrow(kEnglishPage)) != pages.end();
    }));
    PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    QuitApp(app, main);
}

TEST_F(AppTest, FourExplorersKeepsTheTopFourAndTheLimitClosesAQuickWinEsNewcomer) {
    Process explorer = StartStandIn(L"explorer.exe", L"--windows 30 --title C:\\windows", 30);
    SetForegroundWindow(WindowsOf(explorer.id()).at(7));
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    Sleep(3000);  // the group, raised at start, is left alone
    std::vector<HWND> top = WindowsOf(explorer.id());
    top.resize(4);
    std::sort(top.begin(), top.end());
    ASSERT_TRUE(ChooseTrayEntry(main, FourExplorers));
    const auto group = [&] {
        auto windows = WindowsOf(explorer.id());
        std::sort(windows.begin(), windows.end());
        return windows;
    };
    EXPECT_TRUE(WaitUntil([&] { return group().size() == 4; }, 15000));
    EXPECT_EQ(group(), top) << "the first four in z-order when the command was chosen";

    // With the limit on, a Win+E as four back-to-back key events (a macro key, a launcher,
    // a remote desktop) opens a window that is closed again: the user's four stay.
    ASSERT_TRUE(ChooseTrayEntry(main, Limit));
    SetForegroundWindow(top[0]);
    Sleep(500);
    InjectKey(VK_LWIN, false);
    InjectKey('E', false);
    InjectKey('E', true);
    InjectKey(VK_LWIN, true);
    EXPECT_TRUE(WaitUntil([&] { return group().size() == 5; }));
    EXPECT_TRUE(WaitUntil([&] { return group() == top; })) << "the newcomer is closed";
    QuitApp(app, main);
}

TEST_F(AppTest, SessionEndSavesTheListAndACancelledEndFollowsAgain) {
    DeleteFileW(listFile.c_str());
    Process explorer = StartStandIn(L"explorer.exe", L"--windows 2 --title C:\\windows", 2);
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    ASSERT_TRUE(ChooseTrayEntry(main, TwoExplorers));
    const auto group = WindowsOf(explorer.id());
    ASSERT_EQ(group.size(), 2u);

    SetForegroundWindow(group[0]);
    Sleep(2000);  // the program notices the group in front and reads its folders

    // Windows asks before it ends the session: the program agrees and saves its list.
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 5000, &answer);
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    ASSERT_NE(GetFileAttributesW(listFile.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadLines(listFile).at(0), "C:\\windows");

    // The end is cancelled: minimizing one window minimizes the group again.
    SendMessageTimeoutW(main, WM_ENDSESSION, FALSE, 0, SMTO_BLOCK, 5000, &answer);
    SetForegroundWindow(group[0]);
    Sleep(400);
    ShowWindow(group[1], SW_MINIMIZE);
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(group[0]) != FALSE; }));

    // An installer's Restart Manager closes it: it quits with 0, its list saved, and opens
    // no product page.
    DeleteFileW(listFile.c_str());
    DeleteFileW(UrlLog().c_str());
    SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 5000,
                        &answer);
    SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_BLOCK, 5000, &answer);
    EXPECT_EQ(app.Wait(5000), 0u);
    EXPECT_EQ(ReadLines(listFile).at(0), "C:\\windows");
    EXPECT_TRUE(Announced(1).empty());
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Version and publisher of each "Zephyrine" in Settings > Apps (Wine records a per-user
// MSI under HKLM, Windows under HKCU).
std::vector<std::pair<std::wstring, std::wstring>> UninstallEntries() {
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY uninstall = nullptr;
        if (RegOpenKeyExW(root, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                          KEY_READ, &uninstall) != ERROR_SUCCESS) {
            continue;
        }
        wchar_t name[256];
        for (DWORD i = 0, size = 256; RegEnumKeyExW(uninstall, i, name, &size, nullptr, nullptr,
                                                    nullptr, nullptr) == ERROR_SUCCESS;
             ++i, size = 256) {
            const auto value = [&](const wchar_t* valueName) {
                wchar_t text[256] = {};
                DWORD bytes = sizeof(text);
                RegGetValueW(uninstall, name, valueName, RRF_RT_REG_SZ, nullptr, text, &bytes);
                return std::wstring(text);
            };
            if (value(L"DisplayName") == L"Zephyrine") {
                entries.emplace_back(value(L"DisplayVersion"), value(L"Publisher"));
            }
        }
        RegCloseKey(uninstall);
    }
    return entries;
}

TEST_F(AppTest, TheMsiInstallsPerUserUpgradesInPlaceAndRemovesAllButTheRememberedFolders) {
    using Entries = std::vector<std::pair<std::wstring, std::wstring>>;
    const auto msiexec = [](const std::wstring& arguments) {
        return Start(L"C:\\windows\\system32\\msiexec.exe", arguments + L" /qn").Wait(120000);
    };
    const std::wstring msi = L"\"" + TestDirectory() + L"\\Zephyrine.msi\"";
    const std::wstring newer = L"\"" + TestDirectory() + L"\\Zephyrine-newer.msi\"";
    const std::wstring installed =
        KnownFolder(FOLDERID_LocalAppData) + L"\\Programs\\Zephyrine\\Zephyrine.exe";
    const std::wstring startMenu = KnownFolder(FOLDERID_Programs) + L"\\Zephyrine.lnk";
    const std::wstring startup = KnownFolder(FOLDERID_Startup) + L"\\Zephyrine.lnk";
    msiexec(L"/x " + newer);  // left by a run that failed
    ASSERT_EQ(msiexec(L"/i " + msi), 0u);
    EXPECT_TRUE(Exists(installed) && Exists(startMenu));
    EXPECT_EQ(UninstallEntries(), (Entries{{kVersion, L"Zephyrine"}}));

    // The installed program runs; the user has it start with Windows.
    DeleteFileW(listFile.c_str());
    Process explorer = StartStandIn(L"explorer.exe", L"--windows 2 --title C:\\windows", 2);
    program = installed;
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    ASSERT_NE(main, nullptr) << "the installed program runs";
    ASSERT_TRUE(ChooseTrayEntry(main, StartUp));
    EXPECT_TRUE(WaitUntil([&] { return Exists(startup); }));

    // A newer version replaces it in place: the running copy is closed and started again.
    DeleteFileW(UrlLog().c_str());
    ASSERT_EQ(msiexec(L"/i " + newer), 0u);
    EXPECT_EQ(app.Wait(5000), 0u);
    EXPECT_EQ(UninstallEntries(), (Entries{{L"" ZEPHYRINE_NEWER_VERSION, L"Zephyrine"}}));
    EXPECT_TRUE(Exists(startup)) << "the user's choice stays";
    HWND again = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (again = FindWindowW(L"ZephyrineClass", nullptr)); }));
    DWORD againId = 0;
    GetWindowThreadProcessId(again, &againId);
    HANDLE running = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, againId);
    ASSERT_TRUE(ChooseTrayEntry(again, TwoExplorers));
    SetForegroundWindow(WindowsOf(explorer.id()).at(0));
    Sleep(1500);  // the group's folders are read

    // Removing it ends that copy, its list saved, and leaves only the remembered folders.
    ASSERT_EQ(msiexec(L"/x " + newer), 0u);
    DWORD code = STILL_ACTIVE;
    WaitForSingleObject(running, 5000);
    GetExitCodeProcess(running, &code);
    CloseHandle(running);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadLines(listFile), (std::vector<std::string>{"C:\\windows", "C:\\windows"}));
    EXPECT_FALSE(Exists(installed) || Exists(startMenu) || Exists(startup));
    EXPECT_TRUE(UninstallEntries().empty());
    const auto pages = Announced(2);
    EXPECT_EQ(pages.size(), 1u) << "no product page at an installer's close";
    EXPECT_NE(pages.at(0).find("at=start"), std::string::npos);
}

// Run with LANG=ko_KR.UTF-8 in the environment (a test of its own): Wine takes the user
// interface language from the Unix locale that the program inherits.
TEST_F(AppTest, KoreanUserInterfaceUsesTheKoreanTexts) {
    wchar_t language[64] = {};
    GetEnvironmentVariableW(L"LANG", language, 64);
    if (std::wstring(language).rfind(L"ko_KR", 0) != 0) GTEST_SKIP() << "needs LANG=ko_KR.UTF-8";
    const std::wstring link = KnownFolder(FOLDERID_Startup) + L"\\Zephyrine.lnk";
    DeleteFileW(link.c_str());
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    ASSERT_TRUE(ChooseTrayEntry(main, -1));
    const std::string separator = "\t" + std::to_string(MF_SEPARATOR | MF_GRAYED | MF_DISABLED);
    EXPECT_EQ(LastMenu(),
              (std::vector<std::string>{
                  u8"\uD0D0\uC0C9\uAE30 4\uAC1C\t0",  // 탐색기 4개
                  u8"\uD0D0\uC0C9\uAE30 2\uAC1C\t0",  // 탐색기 2개
                  u8"\uD0D0\uC0C9\uAE30 0\uAC1C\t0",  // 탐색기 0개
                  separator,
                  u8"\uD0D0\uC0C9\uAE30 \uAC1C\uC218 \uC81C\uD55C\t3",  // 탐색기 개수 제한
                  u8"\uC2DC\uC791 \uD504\uB85C\uADF8\uB7A8\uC73C\uB85C \uB4F1\uB85D\t0", separator,
                  u8"\uD504\uB85C\uADF8\uB7A8 \uC815\uBCF4\t0",  // 프로그램 정보
                  u8"\uC885\uB8CC\t0"}));                        // 종료

    PostMessageW(main, WM_COMMAND, 104, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil([&] { return (dialog = FindWindowOf(app.id(), L"#32770")) != nullptr; }));
    EXPECT_EQ(DialogText(dialog, 1001), L"Zephyrine, \uBC84\uC804 " + kVersion);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));

    ASSERT_TRUE(ChooseTrayEntry(main, StartUp));
    ASSERT_TRUE(
        WaitUntil([&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; }));
    std::wstring target, description;
    ASSERT_TRUE(ReadShortcut(link, target, description));
    EXPECT_EQ(description.rfind(L"\uD55C \uBC88\uC5D0", 0), 0u);  // 한 번에
    DeleteFileW(link.c_str());
    QuitApp(app, main);
    EXPECT_NE(Announced(2).at(0).find("/kr/tools.html"), std::string::npos);
}

TEST_F(AppTest, KeepsWorkingWhenTheTaskbarIsRecreated) {
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    DWORD_PTR answer = 0;
    ASSERT_TRUE(WaitUntil([] { return TrayIconsAdded() == 1; }));
    SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                        SMTO_ABORTIFHUNG, 2000, &answer);
    EXPECT_TRUE(WaitUntil([] { return TrayIconsAdded() == 2; })) << "the icon is added again";
    ASSERT_TRUE(ChooseTrayEntry(main, -1));
    EXPECT_EQ(LastMenu().size(), 9u);
    QuitApp(app, main);
}

// Explorer windows that stop answering, shell calls that never return, a program ended by
// force and an Explorer restart: the program stays usable and keeps the user's folders.
namespace {

const std::wstring kActivationLog = WindowsPathOf(kBuild + "/tests/e2e/activations.txt");
const std::wstring kRestartsFile = WindowsPathOf(kBuild + "/tests/e2e/explorer-restarts.txt");
constexpr UINT kHangMessage = WM_APP + 1;  // the stand-in's thread sleeps wParam ms

// Milliseconds from a click on the tray icon until its menu shows; the menu is closed.
ULONGLONG TimeToOpenTheMenu(HWND main) {
    DWORD processId = 0;
    GetWindowThreadProcessId(main, &processId);
    const ULONGLONG start = GetTickCount64();
    PostMessageW(main, WM_USER + 2, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    if (!WaitUntil([&] { return (menu = FindWindowOf(processId, L"#32768")) != nullptr; }, 30000)) {
        return ~0ull;
    }
    const ULONGLONG elapsed = GetTickCount64() - start;
    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    WaitUntil([&] { return FindWindowOf(processId, L"#32768") == nullptr; });
    return elapsed;
}

std::string HexOf(HWND window) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
    return text;
}

bool IsAbove(HWND upper, HWND lower) {
    const auto windows = TopLevelWindows();
    const auto up = std::find(windows.begin(), windows.end(), upper);
    return up != windows.end() && std::find(up, windows.end(), lower) != windows.end();
}

void WriteText(const std::wstring& path, const char* text) {
    std::ofstream(path.c_str(), std::ios::binary | std::ios::trunc) << text;
}

}  // namespace

TEST_F(AppTest, AHungExplorerWindowFreezesNeitherGroupNorTrayNorQuitNorSessionEnd) {
    DeleteFileW(listFile.c_str());
    DeleteFileW(kActivationLog.c_str());
    Process notepad = StartStandIn(L"notepad.exe", L"");
    Process explorer =
        Start(TestDirectory() + L"\\explorer.exe", L"--windows 2 --title C:\\windows",
              {L"ZEPHYRINE_ACTIVATION_LOG=" + kActivationLog});
    ASSERT_TRUE(WaitUntil([&] { return WindowsOf(explorer.id()).size() == 2; }));
    Process stuck = StartStandIn(L"explorer.exe", L"--title C:\\users");
    HWND hung = WindowsOf(stuck.id()).at(0);
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    PostMessageW(hung, kHangMessage, 60000, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsHungAppWindow(hung) != FALSE; }, 10000));

    // The user comes from another program to an Explorer window: the responsive ones come
    // forward, the chosen one on top, and no other one is activated on the way.
    HWND other = WindowsOf(notepad.id()).at(0);
    SetForegroundWindow(other);
    Sleep(400);
    const auto group = WindowsOf(explorer.id());
    ASSERT_EQ(group.size(), 2u);
    HWND chosen = group[1];
    DeleteFileW(kActivationLog.c_str());
    SetForegroundWindow(chosen);
    EXPECT_TRUE(WaitUntil([&] { return IsAbove(group[0], other); }));
    EXPECT_TRUE(IsAbove(chosen, group[0]));
    Sleep(300);
    EXPECT_EQ(ReadLines(kActivationLog), std::vector<std::string>{HexOf(chosen)});
    const ULONGLONG trayAnswer = TimeToOpenTheMenu(main);
    std::printf("tray menu open after %llu ms with a hung window\n", trayAnswer);
    EXPECT_LT(trayAnswer, 1000u);

    // "2 Explorers": the hung window is asked to close within the close bound.
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(ChooseTrayEntry(main, TwoExplorers));
    EXPECT_LT(TimeToOpenTheMenu(main) + (GetTickCount64() - start), 3000u + 1000u);
    const RECT work = WorkAreaOf(group[0]);
    std::vector<RECT> halves;
    for (const Tile& tile : ComputeTiles({work.left, work.top, work.right, work.bottom}, 2)) {
        halves.push_back({tile.x, tile.y, tile.x + tile.cx, tile.y + tile.cy});
    }
    for (HWND window : group) {
        EXPECT_TRUE(WaitUntil([&] {
            const RECT r = RectOf(window);
            return std::any_of(halves.begin(), halves.end(), [&](const RECT& h) {
                return r.left == h.left && r.top == h.top && r.right == h.right &&
                       r.bottom == h.bottom;
            });
        })) << "tiled";
    }

    // From another program to the lower member: it comes to the top, and it is active.
    SetForegroundWindow(other);
    Sleep(400);
    HWND lower = IsAbove(group[0], group[1]) ? group[1] : group[0];
    HWND upper = lower == group[0] ? group[1] : group[0];
    SetForegroundWindow(lower);
    EXPECT_TRUE(WaitUntil([&] { return IsAbove(lower, upper) && IsAbove(upper, other); }));
    Sleep(300);
    EXPECT_TRUE(IsAbove(lower, upper));
    EXPECT_EQ(GetForegroundWindow(), lower);

    // The session ends: the answer comes within 2 s, with the list on disk.
    SetForegroundWindow(group[0]);
    EXPECT_TRUE(WaitUntil([&] { return !ReadLines(listFile).empty(); })) << "captured";
    DeleteFileW(listFile.c_str());
    DWORD_PTR answer = 0;
    const ULONGLONG asked = GetTickCount64();
    SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 10000, &answer);
    std::printf("session end answered after %llu ms\n", GetTickCount64() - asked);
    EXPECT_LT(GetTickCount64() - asked, 2000u);
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    EXPECT_EQ(ReadLines(listFile), (std::vector<std::string>{"C:\\windows", "C:\\windows"}));
    SendMessageTimeoutW(main, WM_ENDSESSION, FALSE, 0, SMTO_BLOCK, 5000, &answer);

    const ULONGLONG quit = GetTickCount64();
    ASSERT_TRUE(ChooseTrayEntry(main, Quit));
    EXPECT_EQ(app.Wait(5000), 0u);
    std::printf("ended %llu ms after Quit was chosen\n", GetTickCount64() - quit);
}

TEST_F(AppTest, TheGroupComesBackWholeWithAHungAndAMaximizedMember) {
    Process explorer =
        StartStandIn(L"explorer.exe", L"--windows 2 --maximized 1 --title C:\\windows", 2);
    Process stuck = StartStandIn(L"explorer.exe", L"--title C:\\users");
    HWND hung = WindowsOf(stuck.id()).at(0);
    const auto group = WindowsOf(explorer.id());
    ASSERT_EQ(group.size(), 2u);
    HWND big = IsZoomed(group[0]) ? group[0] : group[1];
    HWND chosen = big == group[0] ? group[1] : group[0];
    ASSERT_TRUE(IsZoomed(big));
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    SetForegroundWindow(chosen);
    Sleep(400);
    ShowWindow(chosen, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(big) && IsIconic(hung); }))
        << "the group went down";
    PostMessageW(hung, kHangMessage, 15000, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsHungAppWindow(hung) != FALSE; }, 10000));

    // Brought back as its taskbar button brings it: the others come back, the maximized one
    // maximized, and the group stays up although the hung one cannot come back yet.
    ShowWindow(chosen, SW_RESTORE);
    SetForegroundWindow(chosen);
    EXPECT_TRUE(WaitUntil([&] { return IsZoomed(big) != FALSE; }, 2000)) << "back maximized";
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    GetWindowPlacement(big, &placement);
    EXPECT_FALSE(IsIconic(big)) << "shown as " << placement.showCmd;
    Sleep(2000);
    EXPECT_FALSE(IsIconic(chosen) || IsIconic(big)) << "the group went down again";
    EXPECT_EQ(GetForegroundWindow(), chosen);
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(hung); }, 15000)) << "it answers, and comes back";
    EXPECT_FALSE(IsIconic(chosen));

    // The maximized one is the one minimized: it too comes back maximized with the group.
    SetForegroundWindow(big);
    Sleep(400);
    ShowWindow(big, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(chosen) && IsIconic(hung); }))
        << "the group went down";
    Sleep(400);
    ShowWindow(chosen, SW_RESTORE);
    SetForegroundWindow(chosen);
    EXPECT_TRUE(WaitUntil([&] { return IsZoomed(big) != FALSE; }, 2000)) << "back maximized";
    QuitApp(app, main);
}

size_t ThreadsOf(DWORD processId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    size_t threads = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        threads += entry.th32OwnerProcessID == processId;
    }
    CloseHandle(snapshot);
    return threads;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

TEST_F(AppTest, AShellCallThatNeverReturnsHoldsUpNoOtherWindowNorTheTrayNorQuit) {
    // One of four windows shows a folder on an unreachable share: one of its calls answers
    // only after a minute. The others answer at once.
    for (const wchar_t* stuckCall : {L"GetCurFolder", L"get_HWND", L"BrowseObject"}) {
        SCOPED_TRACE(Narrow(stuckCall));
        CreateDirectoryW(listFile.substr(0, listFile.rfind(L'\\')).c_str(), nullptr);
        WriteText(listFile, "C:\\windows\r\nC:\\users\r\nC:\\ProgramData\r\nC:\\windows\r\n");
        Process notepad = StartStandIn(L"notepad.exe", L"");
        Process explorer =
            StartStandIn(L"explorer.exe",
                         L"--windows 4 --title C:\\windows --title \\\\server\\share "
                         L"--title C:\\users --title C:\\ProgramData",
                         4);
        HWND share = nullptr;
        for (HWND window : WindowsOf(explorer.id())) {
            if (TitleOf(window).rfind(L"\\\\", 0) == 0) share = window;
        }
        Process app = StartApp({std::wstring(L"ZEPHYRINE_STUCK_CALL=") + stuckCall});
        HWND main = MainWindowOf(app);
        Sleep(500);
        const size_t idleThreads = ThreadsOf(app.id());
        ASSERT_TRUE(ChooseTrayEntry(main, FourExplorers));  // restores the folders
        const auto group = WindowsOf(explorer.id());
        ASSERT_EQ(group.size(), 4u);

        // With an Explorer window in front the folders are read four times a second.
        SetForegroundWindow(group[0]);
        size_t mostThreads = 0;
        for (int i = 0; i < 20; ++i) {
            Sleep(500);
            mostThreads = std::max(mostThreads, ThreadsOf(app.id()));
        }
        std::printf("threads: %zu at rest, at most %zu with captures\n", idleThreads, mostThreads);
        EXPECT_LE(mostThreads, idleThreads + 2);

        ShowWindow(group[1], SW_MINIMIZE);
        const ULONGLONG minimized = GetTickCount64();
        EXPECT_TRUE(WaitUntil([&] {
            return std::all_of(group.begin(), group.end(), [](HWND w) { return IsIconic(w); });
        }));
        std::printf("group minimized after %llu ms\n", GetTickCount64() - minimized);
        EXPECT_LT(GetTickCount64() - minimized, 150u);

        // A short visit to another program between two Explorer windows raises the group.
        ShowWindow(group[0], SW_RESTORE);
        SetForegroundWindow(group[0]);
        ASSERT_TRUE(WaitUntil([&] { return !IsIconic(group[3]); }));
        Sleep(400);
        HWND other = WindowsOf(notepad.id()).at(0);
        SetForegroundWindow(other);
        Sleep(150);
        SetForegroundWindow(group[2]);
        EXPECT_TRUE(
            WaitUntil([&] { return IsAbove(group[0], other) && IsAbove(group[3], other); }, 1000));
        EXPECT_LT(TimeToOpenTheMenu(main), 1000u);

        // The others' folders are on disk (saved every 5 s while they change).
        std::vector<std::string> expected;
        for (HWND window : group) {
            if (window != share) expected.push_back(Narrow(Lower(TitleOf(window))));
        }
        EXPECT_TRUE(WaitUntil(
            [&] {
                std::vector<std::string> saved;
                for (const std::string& line : ReadLines(listFile)) {
                    saved.push_back(Narrow(Lower(std::wstring(line.begin(), line.end()))));
                }
                return std::all_of(expected.begin(), expected.end(), [&](const std::string& f) {
                    return std::find(saved.begin(), saved.end(), f) != saved.end();
                });
            },
            12000));

        const ULONGLONG quit = GetTickCount64();
        ASSERT_TRUE(ChooseTrayEntry(main, Quit));
        EXPECT_EQ(app.Wait(2000), 0u);
        std::printf("ended %llu ms after Quit was chosen, a shell call still under way\n",
                    GetTickCount64() - quit);
    }
}

TEST_F(AppTest, EachWindowKeepsItsOwnFolderThisPcAmongThemAcrossCloseAndRestart) {
    const std::wstring thisPc = L"::{20d04fe0-3aea-1069-a2d8-08002b30309d}";
    const auto isThisPc = [&](HWND window) { return Lower(TitleOf(window)) == thisPc; };
    DeleteFileW(listFile.c_str());
    {
        Process explorer =
            StartStandIn(L"explorer.exe",
                         L"--windows 4 --title ::{20D04FE0-3AEA-1069-A2D8-08002B30309D} "
                         L"--title C:\\windows --title C:\\users --title C:\\ProgramData",
                         4);
        Process app = StartApp();
        HWND main = MainWindowOf(app);
        ASSERT_TRUE(ChooseTrayEntry(main, FourExplorers));
        const auto group = WindowsOf(explorer.id());
        const auto computer = std::find_if(group.begin(), group.end(), isThisPc);
        ASSERT_NE(computer, group.end());
        SetForegroundWindow(*computer);
        EXPECT_TRUE(WaitUntil(
            [&] {
                const auto saved = ReadLines(listFile);
                return saved.size() == 4 &&
                       std::count(saved.begin(), saved.end(), Narrow(thisPc)) == 1;
            },
            12000))
            << "This PC is remembered by its parsing name";

        // "2 Explorers" keeps the two on top, each on its own folder.
        std::vector<std::wstring> titles;
        for (HWND window : group) titles.push_back(TitleOf(window));
        ASSERT_TRUE(ChooseTrayEntry(main, TwoExplorers));
        Sleep(1000);
        const auto survivors = WindowsOf(explorer.id());
        ASSERT_EQ(survivors.size(), 2u);
        for (HWND window : survivors) {
            EXPECT_EQ(TitleOf(window),
                      titles[std::find(group.begin(), group.end(), window) - group.begin()]);
        }
        QuitApp(app, main);
        EXPECT_EQ(ReadLines(listFile).size(), 4u) << "the closed windows' folders stay";
    }
    // After a restart, the windows "4 Explorers" opens go back to them.
    Process explorer = StartStandIn(L"explorer.exe", L"--title C:\\");
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    ASSERT_TRUE(ChooseTrayEntry(main, FourExplorers));
    EXPECT_TRUE(WaitUntil([&] {
        const auto windows = WindowsOf(explorer.id());
        return std::any_of(windows.begin(), windows.end(), isThisPc);
    }));
    QuitApp(app, main);
}

TEST_F(AppTest, AFolderNotThereYetStaysRememberedAndAWindowOpenedOnItsOwnFolderKeepsIt) {
    // The list names a folder that does not exist yet (a share offline, a drive unplugged);
    // the windows start on This PC.
    const std::wstring later = L"C:\\zephyrine-not-yet";
    RemoveDirectoryW(later.c_str());
    CreateDirectoryW(listFile.substr(0, listFile.rfind(L'\\')).c_str(), nullptr);
    WriteText(listFile, "C:\\zephyrine-not-yet\r\nC:\\users\r\n");
    Process explorer = StartStandIn(
        L"explorer.exe", L"--windows 4 --title ::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", 4);
    {
        Process app = StartApp();
        HWND main = MainWindowOf(app);
        ASSERT_TRUE(ChooseTrayEntry(main, FourExplorers));
        SetForegroundWindow(WindowsOf(explorer.id()).at(0));
        Sleep(1500);  // captured
        QuitApp(app, main);
        const auto saved = ReadLines(listFile);
        EXPECT_NE(std::find(saved.begin(), saved.end(), "C:\\zephyrine-not-yet"), saved.end());
    }
    // Once it exists, the first "4 Explorers" after a restart sends the window there.
    ASSERT_TRUE(CreateDirectoryW(later.c_str(), nullptr));
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    ASSERT_TRUE(ChooseTrayEntry(main, FourExplorers));
    EXPECT_TRUE(WaitUntil([&] {
        const auto windows = WindowsOf(explorer.id());
        return std::any_of(windows.begin(), windows.end(),
                           [&](HWND w) { return Lower(TitleOf(w)) == Lower(later); });
    }));

    // A browser's "Show in folder" opens a window on a folder of its own, in front, after
    // the group was read: "2 Explorers" keeps it there and moves neither survivor.
    SetForegroundWindow(WindowsOf(explorer.id()).at(0));
    Sleep(1500);
    Process shown = StartStandIn(L"explorer.exe", L"--title C:\\users\\Public");
    std::vector<std::pair<HWND, std::wstring>> before;
    for (HWND window : TopLevelWindows()) before.emplace_back(window, TitleOf(window));
    ASSERT_TRUE(ChooseTrayEntry(main, TwoExplorers));
    Sleep(1500);
    EXPECT_EQ(TitleOf(WindowsOf(shown.id()).at(0)), L"C:\\users\\Public");
    for (const auto& [window, title] : before) {
        if (IsWindow(window)) {
            EXPECT_EQ(TitleOf(window), title);
        }
    }
    QuitApp(app, main);
    RemoveDirectoryW(later.c_str());
}

TEST_F(AppTest, AfterExplorerRestartsFoldersAreCapturedAgainAndSurviveAKill) {
    DeleteFileW(listFile.c_str());
    WriteText(kRestartsFile, "0");
    Process notepad = StartStandIn(L"notepad.exe", L"");
    Process explorer = StartStandIn(L"explorer.exe", L"--windows 2 --title C:\\windows", 2);
    Process app = StartApp({L"ZEPHYRINE_SHELL_RESTARTS=" + kRestartsFile});
    HWND main = MainWindowOf(app);
    ASSERT_TRUE(ChooseTrayEntry(main, TwoExplorers));
    ASSERT_TRUE(WaitUntil([&] { return !ReadLines(listFile).empty(); }));

    // Explorer restarts: the program's collection now answers RPC_E_DISCONNECTED. The
    // user goes on: to another program, back to a window that shows another folder.
    WriteText(kRestartsFile, "1");
    const auto group = WindowsOf(explorer.id());
    ASSERT_EQ(group.size(), 2u);
    SetWindowTextW(group[0], L"C:\\users");
    HWND other = WindowsOf(notepad.id()).at(0);
    const bool saved = WaitUntil(
        [&] {
            SetForegroundWindow(other);
            Sleep(400);
            SetForegroundWindow(group[0]);
            Sleep(400);
            const auto lines = ReadLines(listFile);
            return std::count(lines.begin(), lines.end(), "C:\\users") == 1;
        },
        15000);
    EXPECT_TRUE(saved) << "captured through a collection created again, and saved";

    // Ended by force (Task Manager, a crash): the list on disk keeps the folders.
    TerminateProcess(app.info.hProcess, 1);
    app.Wait(5000);
    const auto lines = ReadLines(listFile);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "C:\\users"), 1);
}

TEST_F(AppTest, SessionEndWhile2ExplorersWaitsForABusyWindowIsAnsweredInTime) {
    // The surplus window is busy for 2.5 s (not yet hung): "2 Explorers" waits for its
    // answer to WM_CLOSE, and the session end arrives meanwhile on the same thread.
    Process busy = StartStandIn(L"explorer.exe", L"--title C:\\users");
    Process explorer = StartStandIn(L"explorer.exe", L"--windows 2 --title C:\\windows", 2);
    Process app = StartApp();
    HWND main = MainWindowOf(app);
    PostMessageW(WindowsOf(busy.id()).at(0), kHangMessage, 2500, 0);
    ASSERT_TRUE(ChooseTrayEntry(main, TwoExplorers));
    Sleep(300);
    // A click on the icon meanwhile opens no menu inside the running command.
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(main, WM_USER + 2, 1, WM_RBUTTONUP, SMTO_NORMAL, 300, &answer);
    EXPECT_EQ(FindWindowOf(app.id(), L"#32768"), nullptr);
    const ULONGLONG asked = GetTickCount64();
    SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 10000, &answer);
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
    EXPECT_LT(GetTickCount64() - asked, 2000u);
    SendMessageTimeoutW(main, WM_ENDSESSION, FALSE, 0, SMTO_BLOCK, 5000, &answer);
    ASSERT_TRUE(ChooseTrayEntry(main, Quit));
    EXPECT_EQ(app.Wait(5000), 0u);
}
