#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

// Every test runs with a home directory of its own, so that nothing reaches the user's
// socket, away-state file, calibration or status files: the process-wide defaults are all
// derived from $HOME.
class IsolatedHome : public ::testing::Environment {
public:
    IsolatedHome() {
        std::string pattern = "/tmp/fm-home.XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            home_ = pattern;
            setenv("HOME", home_.c_str(), 1);
            unsetenv("XDG_STATE_HOME");
        }
    }
    ~IsolatedHome() override {
        std::error_code ignored;
        std::filesystem::remove_all(home_, ignored);
    }

private:
    std::string home_;
};

// Registered before main runs, so $HOME is set before any default path is computed.
[[maybe_unused]] auto* const isolatedHome = ::testing::AddGlobalTestEnvironment(new IsolatedHome);

}  // namespace
