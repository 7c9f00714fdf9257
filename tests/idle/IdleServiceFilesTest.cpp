#include "FloodmarkSaver/idle/IdleServiceFiles.h"

#include <gtest/gtest.h>

namespace floodmark {
namespace {

namespace files = IdleServiceFiles;

TEST(IdleServiceFiles, QuotesEveryWordSoThatNothingInItIsTakenAsSyntax) {
    struct Case {
        std::vector<std::string> words;
        std::string systemd;
        std::string desktop;
    };
    const Case cases[] = {
        {{"/usr/bin/floodmark", "idle"},
         R"("/usr/bin/floodmark" "idle")",
         R"("/usr/bin/floodmark" "idle")"},
        {{"/opt/my saver/floodmark"},
         R"("/opt/my saver/floodmark")",
         R"("/opt/my saver/floodmark")"},
        {{"a\"b"}, R"("a\"b")", R"("a\\"b")"},
        {{"back\\slash"}, R"("back\\slash")", R"("back\\\\slash")"},
        {{"$HOME", "%h"}, R"("$$HOME" "%%h")", R"("\\$HOME" "%%h")"},
        {{"`date`"}, R"("`date`")", R"("\\`date\\`")"},
        {{""}, R"("")", R"("")"},
    };
    for (const auto& item : cases) {
        EXPECT_EQ(files::systemdCommandLine(item.words), item.systemd) << item.systemd;
        EXPECT_EQ(files::desktopExec(item.words), item.desktop) << item.desktop;
    }
    for (const char* hostile : {"two\nlines", "tab\there", "bell\a", "del\x7f"}) {
        EXPECT_FALSE(files::dropIn({"/usr/bin/floodmark", hostile})) << hostile;
        EXPECT_FALSE(files::autostartEntry({"/usr/bin/floodmark", hostile})) << hostile;
    }
}

TEST(IdleServiceFiles, TheDropInReplacesTheUnitsCommandAndTheEntryRunsIt) {
    EXPECT_EQ(
        files::dropIn({"/usr/bin/floodmark", "idle", "--after", "2"}),
        "# Written by floodmark idle --enable; removed by --disable.\n"
        "[Service]\nExecStart=\nExecStart=\"/usr/bin/floodmark\" \"idle\" \"--after\" \"2\"\n");
    auto entry = files::autostartEntry({"/usr/bin/floodmark", "idle"});
    ASSERT_TRUE(entry);
    EXPECT_NE(entry->find("\n[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry->find("\nExec=\"/usr/bin/floodmark\" \"idle\"\n"), std::string::npos);
}

}  // namespace
}  // namespace floodmark
