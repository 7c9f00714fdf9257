#include "platform/system/AtomicWrite.h"
#include "platform/system/FileRewrite.h"
#include "platform/system/Files.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/ReadFile.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace floodmark {
namespace {

TEST(AtomicWrite, ReplacesTheFileAndLeavesNothingElse) {
    fixtures::TempDirectory directory;
    std::string path = directory.file("data.json");
    fixtures::writeFile(path, "old content that is longer");
    ASSERT_TRUE(writeFileAtomically(path, "new"));
    EXPECT_EQ(readSmallFile(path, 100), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_FALSE(writeFileAtomically(directory.file("missing/data.json"), "x"));
}

// Temporaries a killed writer left go once a minute old, whatever their random letters; a
// living writer's, a young one and a person's own file stay.
TEST(AtomicWrite, SweepsTheTemporariesOfGoneWritersOnly) {
    // A name no other test writes: the sweep runs once per folder and name in a process, and a
    // new temporary folder may have an earlier one's inode.
    fixtures::TempDirectory directory;
    pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    waitpid(gone, nullptr, 0);
    std::string deadWriter = std::to_string(gone);
    std::string living = std::to_string(getpid());
    const std::pair<std::string, bool> files[] = {
        // name, swept
        {"swept.json.fmtmp-" + deadWriter + "-abcdef", true},  // all small letters
        {"swept.json.fmtmp-" + deadWriter + "-Q9x0Zk", true},
        {"swept.json.fmtmp-" + living + "-abcdef", false},
        {"swept.json.fmtmp-" + deadWriter + "-young1", false},
        {"swept.json.backup", false},
        {"other.json.fmtmp-" + deadWriter + "-abcdef", false},
    };
    timespec twoMinutesAgo[2] = {{time(nullptr) - 120, 0}, {time(nullptr) - 120, 0}};
    for (const auto& [name, swept] : files) {
        fixtures::writeFile(directory.file(name), "x");
        if (name.find("young") == std::string::npos) {
            utimensat(AT_FDCWD, directory.file(name).c_str(), twoMinutesAgo, 0);
        }
    }
    ASSERT_TRUE(writeFileAtomically(directory.file("swept.json"), "new"));
    for (const auto& [name, swept] : files) {
        EXPECT_EQ(std::filesystem::exists(directory.file(name)), !swept) << name;
    }
}

TEST(ReadSmallFile, RefusesWhatIsTooLargeOrNotAFile) {
    fixtures::TempDirectory directory;
    std::string path = directory.file("f");
    fixtures::writeFile(path, "12345");
    EXPECT_EQ(readSmallFile(path, 5), "12345");
    EXPECT_EQ(readSmallFile(path, 4), std::nullopt);
    EXPECT_EQ(readSmallFile(directory.path(), 100), std::nullopt);
    EXPECT_EQ(readSmallFile(directory.file("none"), 100), std::nullopt);
}

TEST(Paths, ParentsAndTilde) {
    EXPECT_EQ(parentDirectory("/a/b/c.sock"), "/a/b");
    EXPECT_EQ(parentDirectory("/a//b/"), "/a");
    EXPECT_EQ(parentDirectory("/c.sock"), "/");
    EXPECT_EQ(parentDirectory("c.sock"), ".");
    EXPECT_EQ(expandTilde("~/x"), homeDirectory() + "/x");
    EXPECT_EQ(expandTilde("~"), homeDirectory());
    EXPECT_EQ(expandTilde("~other/x"), "~other/x");
    EXPECT_EQ(expandTilde("/abs/~"), "/abs/~");
}

// Another program (here a child process) that rewrites the file between the read and the
// rename, by truncating it or by renaming a new one over it, keeps its change: the file is read
// again and changed again. A file it keeps changing is left as it made it.
TEST(FileRewrite, KeepsAChangeAnotherProgramMadeMeanwhile) {
    const std::pair<const char*, const char*> writers[] = {
        {"in place", "printf '{\"theirs\": 2}' > data.json"},
        {"by rename", "printf '{\"theirs\": 2}' > new.json && mv new.json data.json"},
    };
    for (const auto& [name, writer] : writers) {
        SCOPED_TRACE(name);
        fixtures::TempDirectory directory;
        std::string path = directory.file("data.json");
        fixtures::writeFile(path, R"({"theirs": 1})");
        std::vector<std::string> seen;
        auto result = rewriteFile(path, 100, [&](const FileVersion& read) {
            seen.push_back(read.bytes);
            if (seen.size() == 1) {
                std::string command = "cd '" + directory.path() + "' && " + writer;
                EXPECT_EQ(std::system(command.c_str()), 0);
            }
            return FileChange{FileChange::Action::write, read.bytes + " + ours"};
        });
        EXPECT_EQ(result, Rewritten::changed);
        EXPECT_EQ(seen, (std::vector<std::string>{R"({"theirs": 1})", R"({"theirs": 2})"}));
        EXPECT_EQ(readSmallFile(path, 100), R"({"theirs": 2} + ours)");

        int rounds = 0;
        result = rewriteFile(path, 100, [&](const FileVersion&) {
            fixtures::writeFile(path, "round " + std::to_string(++rounds));
            return FileChange{FileChange::Action::remove, ""};
        });
        EXPECT_EQ(result, Rewritten::keptChanging);
        EXPECT_EQ(readSmallFile(path, 100), "round " + std::to_string(rounds));
    }
}

}  // namespace
}  // namespace floodmark
