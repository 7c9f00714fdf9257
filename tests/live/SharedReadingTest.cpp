#include "FloodmarkSaver/live/SharedReading.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace floodmark {
namespace {

constexpr double t0 = 1'800'000'000;

TEST(SharedReading, AFreshReadingOfThisUserIsReadBackAsWritten) {
    fixtures::TempDirectory directory;
    std::string path = directory.file("reading");
    SharedReading written;
    written.reading = {.y = 0.5, .x = 0.25, .awaiting = 2, .stopped = "rate_limit"};
    written.at = t0;
    written.impulseSerial = 7;
    written.impulse = ImpulseKind::failure;
    written.impulseAt = t0 - 0.5;
    ASSERT_TRUE(written.write(path));

    auto read = SharedReading::read(path, t0 + 2);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->reading, written.reading);
    EXPECT_EQ(read->at, t0);
    EXPECT_EQ(read->impulseSerial, 7);
    EXPECT_EQ(read->impulse, ImpulseKind::failure);
    EXPECT_EQ(read->impulseAt, t0 - 0.5);
    // Older than two seconds: not followed.
    EXPECT_FALSE(SharedReading::read(path, t0 + 2.01));
}

TEST(SharedReading, GarbageLinksAndOtherUsersFilesAreNotFollowed) {
    fixtures::TempDirectory directory;
    std::string path = directory.file("reading");
    const std::string at = std::to_string(t0);
    for (const std::string& content : {
             std::string("not json"),
             R"({"schema":2,"at":)" + at + R"(,"y":0.5,"x":0.5})",
             std::string(R"({"schema":1,"y":0.5,"x":0.5})"),
             R"({"schema":1,"at":)" + at + R"(,"y":"high","x":0.5})",
             R"({"schema":1,"at":)" + at + R"(,"y":1e400,"x":0.5})",
             R"({"schema":1,"at":)" + at + R"(,"y":0.5,"x":0.5})" + std::string(5000, ' '),
         }) {
        fixtures::writeFile(path, content);
        EXPECT_FALSE(SharedReading::read(path, t0)) << content;
    }
    // Out of range values are held in range; an unknown impulse is no impulse.
    fixtures::writeFile(path, R"({"schema":1,"at":)" + at +
                                  R"(,"y":7,"x":-1,"impulse":"boom","impulseAt":)" + at + "}");
    auto held = SharedReading::read(path, t0);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->reading.y, 1);
    EXPECT_EQ(held->reading.x, 0);
    EXPECT_FALSE(held->impulse);

    std::string link = directory.file("link");
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    EXPECT_FALSE(SharedReading::read(link, t0));
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(SharedReading::read(path, t0));
    }
}

}  // namespace
}  // namespace floodmark
