#include "support/SwaySession.h"

#include "support/WaitUntil.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <vector>

namespace floodmark::fixtures {

namespace {

constexpr uid_t nobody = 65534;

// The first entry of `directory` whose name starts with `prefix` and is a socket.
std::string findSocket(const std::string& directory, const std::string& prefix) {
    std::string found;
    if (DIR* listing = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(listing)) {
            std::string name = entry->d_name;
            struct stat status {};
            if (name.starts_with(prefix) && stat((directory + "/" + name).c_str(), &status) == 0 &&
                S_ISSOCK(status.st_mode)) {
                found = name;
                break;
            }
        }
        closedir(listing);
    }
    return found;
}

}  // namespace

SwaySession::SwaySession() {
    bool asNobody = geteuid() == 0;
    std::string config = runtime_.file("config");
    writeFile(config, "");
    if (asNobody && (chown(runtime_.path().c_str(), nobody, nobody) != 0 ||
                     chown(config.c_str(), nobody, nobody) != 0)) {
        return;
    }
    chmod(runtime_.path().c_str(), 0700);
    std::vector<std::string> environment{
        "PATH=/usr/bin:/bin",       "HOME=" + runtime_.path(), "XDG_RUNTIME_DIR=" + runtime_.path(),
        "WLR_BACKENDS=headless",    "WLR_RENDERER=pixman",     "WLR_HEADLESS_OUTPUTS=1",
        "WLR_LIBINPUT_NO_DEVICES=1"};
    std::vector<std::string> command{"/usr/bin/sway", "-c", config};
    if (asNobody) {
        command.insert(command.begin(),
                       {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    pid_ = fork();
    if (pid_ == 0) {
        std::vector<char*> words;
        for (auto& word : command) {
            words.push_back(word.data());
        }
        words.push_back(nullptr);
        std::vector<char*> variables;
        for (auto& variable : environment) {
            variables.push_back(variable.data());
        }
        variables.push_back(nullptr);
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execve(words[0], words.data(), variables.data());
        _exit(127);
    }
    bool ready = waitUntil([&] {
        return !findSocket(runtime_.path(), "wayland-").empty() &&
               !findSocket(runtime_.path(), "sway-ipc.").empty();
    });
    if (ready) {
        display_ = findSocket(runtime_.path(), "wayland-");
        ipcSocket_ = runtime_.file(findSocket(runtime_.path(), "sway-ipc."));
    }
}

SwaySession::~SwaySession() {
    stop();
}

void SwaySession::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

bool SwaySession::moveCursor(int dx, int dy) const {
    std::string command = "SWAYSOCK='" + ipcSocket_ + "' swaymsg seat seat0 cursor move " +
                          std::to_string(dx) + " " + std::to_string(dy) + " >/dev/null";
    return std::system(command.c_str()) == 0;
}

}  // namespace floodmark::fixtures
