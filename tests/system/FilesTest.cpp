#include "platform/system/AtomicWrite.h"
#include "platform/system/Files.h"
#include "platform/system/HomeDirectory.h"
#include "platform/system/ReadFile.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace floodmark
