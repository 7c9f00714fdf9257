#include "FloodmarkSaver/idle/SaverLauncher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace floodmark {
namespace {

using Action = SaverLauncher::Action;

enum class Event { idled, resumed, locked, unlocked, inhibited, uninhibited, ended, crashed, tick };

struct Step {
    Event event;
    double at;
    Action expected;
};

struct Story {
    std::string name;
    std::vector<Step> steps;
    bool gaveUpAtEnd = false;
    double ownSurfacesGrace = 0;
};

Action apply(SaverLauncher& launcher, const Step& step) {
    switch (step.event) {
        case Event::idled:
            return launcher.idled(step.at);
        case Event::resumed:
            return launcher.resumed(step.at);
        case Event::locked:
            return launcher.lockChanged(true, step.at);
        case Event::unlocked:
            return launcher.lockChanged(false, step.at);
        case Event::inhibited:
            return launcher.inhibitChanged(true, step.at);
        case Event::uninhibited:
            return launcher.inhibitChanged(false, step.at);
        case Event::ended:
            return launcher.saverEnded(false, step.at);
        case Event::crashed:
            return launcher.saverEnded(true, step.at);
        case Event::tick:
            return launcher.tick(step.at);
    }
    return Action::none;
}

TEST(SaverLauncher, FollowsEachStoryOfEventsToItsActions) {
    using enum Event;
    const std::vector<Story> stories = {
        {"idle starts, resumed terminates, the ending is quiet",
         {{idled, 0, Action::start},
          {resumed, 5, Action::terminate},
          {ended, 5.2, Action::none},
          {idled, 9, Action::start}}},
        {"a saver that outlives its grace is killed once, not before",
         {{idled, 0, Action::start},
          {resumed, 10, Action::terminate},
          {tick, 12.9, Action::none},
          {tick, 13, Action::kill},
          {tick, 14, Action::none},
          {ended, 14, Action::none}}},
        {"a saver ended by input waits for activity before the next idle",
         {{idled, 0, Action::start},
          {ended, 4, Action::none},
          {idled, 8, Action::none},
          {resumed, 9, Action::none},
          {idled, 20, Action::start}}},
        {"a saver killed from outside is not restarted until activity",
         {{idled, 0, Action::start},
          {crashed, 3, Action::none},
          {tick, 30, Action::none},
          {resumed, 40, Action::none},
          {idled, 50, Action::start}}},
        {"three crashes within ten minutes give up for the session",
         {{idled, 0, Action::start},
          {crashed, 1, Action::none},
          {resumed, 2, Action::none},
          {idled, 3, Action::start},
          {crashed, 4, Action::none},
          {resumed, 5, Action::none},
          {idled, 6, Action::start},
          {crashed, 7, Action::none},
          {resumed, 8, Action::none},
          {idled, 9, Action::none}},
         true},
        {"crashes further apart than ten minutes do not add up",
         {{idled, 0, Action::start},
          {crashed, 1, Action::none},
          {resumed, 2, Action::none},
          {idled, 3, Action::start},
          {crashed, 400, Action::none},
          {resumed, 401, Action::none},
          {idled, 402, Action::start},
          {crashed, 601, Action::none},
          {resumed, 602, Action::none},
          {idled, 603, Action::start}}},
        {"a locked session gets no saver; unlocking while idle starts one",
         {{locked, 0, Action::none}, {idled, 1, Action::none}, {unlocked, 5, Action::start}}},
        {"a lock while the saver runs stops it",
         {{idled, 0, Action::start},
          {locked, 2, Action::terminate},
          {ended, 2.1, Action::none},
          {resumed, 3, Action::none},
          {idled, 4, Action::none}}},
        {"an inhibitor holds the saver off and stops a running one",
         {{inhibited, 0, Action::none},
          {idled, 1, Action::none},
          {uninhibited, 2, Action::start},
          {inhibited, 3, Action::terminate},
          {ended, 3.5, Action::none}}},
        {"idle again while stopping starts a fresh saver once the old one ends",
         {{idled, 0, Action::start},
          {resumed, 1, Action::terminate},
          {idled, 1.5, Action::none},
          {ended, 2, Action::start}}},
        {"a resume as the saver's surfaces appear keeps it; the user's, later, stops it",
         {{idled, 0, Action::start},
          {resumed, 1.9, Action::none},
          {idled, 3, Action::none},
          {resumed, 4, Action::terminate},
          {ended, 4.1, Action::none},
          {idled, 8, Action::start},
          {resumed, 10.1, Action::terminate}},
         false,
         2},
        {"a lock still stops a saver kept through its own resume",
         {{idled, 0, Action::start}, {resumed, 0.4, Action::none}, {locked, 1, Action::terminate}},
         false,
         2},
        {"a saver that the user ends after its own resume starts again at the next idle",
         {{idled, 0, Action::start},
          {resumed, 0.4, Action::none},
          {ended, 5, Action::none},
          {idled, 9, Action::start}},
         false,
         2},
        {"a stray ending with no saver changes nothing",
         {{ended, 0, Action::none}, {crashed, 1, Action::none}, {idled, 2, Action::start}}},
    };
    for (const auto& story : stories) {
        SaverLauncher launcher(story.ownSurfacesGrace);
        for (std::size_t index = 0; index < story.steps.size(); ++index) {
            EXPECT_EQ(apply(launcher, story.steps[index]), story.steps[index].expected)
                << story.name << ", step " << index;
        }
        EXPECT_EQ(launcher.gaveUp(), story.gaveUpAtEnd) << story.name;
    }
}

}  // namespace
}  // namespace floodmark
