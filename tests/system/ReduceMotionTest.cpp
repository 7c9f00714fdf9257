#include "platform/system/ReduceMotion.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace floodmark {
namespace {

TEST(ReduceMotion, KdeGlobalsSayReduceOnlyForAZeroAnimationFactorInTheKdeGroup) {
    fixtures::TempDirectory directory;
    std::string path = directory.file("kdeglobals");
    struct Case {
        std::string content;
        std::optional<bool> answer;
    };
    std::vector<Case> cases{
        {"[KDE]\nAnimationDurationFactor=0\n", true},
        {"[General]\nName=x\n\n[KDE]\r\nLookAndFeelPackage=a\r\nAnimationDurationFactor = 0.0\r\n",
         true},
        {"[KDE]\nAnimationDurationFactor=0.5\n", false},
        {"[KDE]\nAnimationDurationFactor=\n", std::nullopt},
        {"[KDE]\nAnimationDurationFactor=fast\n", std::nullopt},
        {"[General]\nAnimationDurationFactor=0\n", std::nullopt},
        {"[KDE]\nSingleClick=false\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& test : cases) {
        fixtures::writeFile(path, test.content);
        EXPECT_EQ(ReduceMotion::readKdeGlobals(path), test.answer) << test.content;
    }
    EXPECT_EQ(ReduceMotion::readKdeGlobals(directory.file("missing")), std::nullopt);
}

TEST(ReduceMotion, DesktopsWithoutASayGiveNoAnswerAndNeverAbort) {
    // No session bus to ask; GSettings schemas that are not installed are looked up, not opened.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    setenv("GSETTINGS_SCHEMA_DIR", "/nonexistent", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    EXPECT_EQ(ReduceMotion::readPortal(), std::nullopt);
    EXPECT_EQ(ReduceMotion::readGnomeReducedMotion(), std::nullopt);
    EXPECT_EQ(ReduceMotion::readGnomeAnimationsOff(), std::nullopt);
}

TEST(ReduceMotion, TheFirstAnswerWinsAndIsAskedAtMostOnceASecond) {
    int asked = 0;
    std::optional<bool> gnome;
    ReduceMotionSetting setting({[] { return std::optional<bool>(); },
                                 [&] {
                                     ++asked;
                                     return gnome;
                                 },
                                 [] { return std::optional<bool>(true); }});
    EXPECT_TRUE(setting.value(100));  // only the last reader answers
    gnome = false;
    EXPECT_TRUE(setting.value(100.9));
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(setting.value(101));  // a second on, the earlier answer wins
    EXPECT_FALSE(setting.value(50));   // a clock set back asks again
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(ReduceMotion::firstAnswer({}));
}

}  // namespace
}  // namespace floodmark
