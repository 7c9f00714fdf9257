// Bytes from outside that are not UTF-8 text, on the command line and in the home
// directory's name: refused or replaced, never an abort.
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

TEST(OutsideBytes, SignalRefusesTextThatIsNotUtf8) {
    TempDirectory home;
    const std::string notUtf8 = "\"$(printf '\\377')\"";
    const std::string overlong = "\"$(printf '\\300\\257')\"";
    const std::string cases[] = {
        "--event tool_call --tool t --session " + notUtf8,
        "--event tool_call --tool " + notUtf8 + " --session s1",
        "--event " + notUtf8 + " --tool t --session s1",
        "--event prompt_submitted --tool t --session s1 --size-bucket " + overlong,
        "--event halted --tool t --session s1 --error-kind " + notUtf8,
        "--ping --session " + notUtf8,
    };
    for (const auto& arguments : cases) {
        auto run = fixtures::runFloodmark("signal " + arguments, home.path());
        EXPECT_EQ(run.status, 2) << arguments;
        EXPECT_NE(joined(run.lines).find("not valid UTF-8"), std::string::npos)
            << arguments << "\n"
            << joined(run.lines);
    }
    // Text that is UTF-8 goes through: held, with no saver listening.
    auto run = fixtures::runFloodmark("signal --event tool_call --tool t --session 'caf\xC3\xA9'",
                                      home.path());
    EXPECT_EQ(run.status, 0) << joined(run.lines);
}

TEST(OutsideBytes, StatusOfAHomeWhoseNameIsNotUtf8) {
    TempDirectory parent;
    const std::string home = parent.file("h\xE9");
    const std::string statusDirectory = home + "/.local/state/TolveraFloodmarkSaver/status";
    ASSERT_EQ(system(("mkdir -p '" + statusDirectory + "'").c_str()), 0);
    fixtures::writeFile(statusDirectory + "/" + std::to_string(getpid()) + ".json",
                        R"({"mode":"live","ownsBus":true,"socketPath":"x"})");
    fixtures::writeFile(statusDirectory + "/1.json", "{");  // listed with its path

    auto run = fixtures::runFloodmark("status --json", home);
    ASSERT_EQ(run.status, 0) << joined(run.lines);
    auto report = nlohmann::json::parse(joined(run.lines), nullptr, false);
    ASSERT_TRUE(report.is_object()) << joined(run.lines);
    EXPECT_EQ(report["directory"],
              parent.path() + "/h\xEF\xBF\xBD" + "/.local/state/TolveraFloodmarkSaver/status");
    EXPECT_EQ(report["processes"][1]["status"]["mode"], "live");

    run = fixtures::runFloodmark("status", home);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(joined(run.lines).find('\xE9'), std::string::npos) << joined(run.lines);
    EXPECT_NE(joined(run.lines).find("/h\xEF\xBF\xBD/"), std::string::npos) << joined(run.lines);
}

}  // namespace
}  // namespace floodmark
