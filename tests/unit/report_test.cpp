#include "diag/report.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace {

// Runs action with the standard error stream sent to a file and returns what it wrote.
template <typename Action>
std::string CaptureStandardError(Action action) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string path = std::string(temp) + "zephyrine-stderr.txt";
    std::fflush(stderr);
    const int saved = _dup(_fileno(stderr));
    FILE* sink = std::fopen(path.c_str(), "wb");
    _dup2(_fileno(sink), _fileno(stderr));
    action();
    std::fflush(stderr);
    _dup2(saved, _fileno(stderr));
    _close(saved);
    std::fclose(sink);
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::remove(path.c_str());
    return text;
}

}  // namespace

TEST(ReportError, LongReportsAreWrittenWhole) {
    const std::string message(5000, 'm');
    const std::string written = CaptureStandardError(
        [&] { ReportError("%s:\n  (error) %s\n", "Caller", message.c_str()); });
    EXPECT_EQ(written, "Caller:\n  (error) " + message + "\n");

    const std::string edge(2047 - 3, 'e');  // exactly 2047 characters with "ab:"
    EXPECT_EQ(CaptureStandardError([&] { ReportError("ab:%s", edge.c_str()); }), "ab:" + edge);
}

TEST(ReportError, EmptyFormatOrExpansionWritesNothing) {
    EXPECT_EQ(CaptureStandardError([] { ReportError(nullptr); }), "");
    const char* empty = "";
    EXPECT_EQ(CaptureStandardError([&] { ReportError(empty); }), "");
    EXPECT_EQ(CaptureStandardError([] { ReportError("%s", ""); }), "");
}

TEST(ReportError, EmptyErrorTextStillGivesBothLines) {
    SetLastError(0);
    EXPECT_EQ(GetLastErrorText(), "");
    const std::string written = CaptureStandardError(
        [] { ReportError("%s:\n  (error) %s\n", "DisplayText", GetLastErrorText().c_str()); });
    EXPECT_EQ(written, "DisplayText:\n  (error) \n");
}

TEST(GetLastErrorText, GivesTheSystemTextWithItsLineBreak) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string text = GetLastErrorText();
    ASSERT_FALSE(text.empty());
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "left as it was";

    SetLastError(0x2FFFFFFF);  // no text for it
    EXPECT_EQ(GetLastErrorText(), "");
}
