#include "HackCost.h"

#include "support/TempDirectory.h"
#include "support/XServer.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace floodmark::bench {

namespace {

constexpr const char* hackFolder = "/usr/libexec/xscreensaver/";
constexpr const char* setpriv = "/usr/bin/setpriv";

void wait(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace

double cpuSeconds(int pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (text.rfind(')') == std::string::npos) {
        return 0;
    }
    // Fields after the command name, which ends with the last ')': state is field 3, utime 14.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index >= 14) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double statusMegabytes(const std::string& pid, const std::string& key) {
    std::ifstream file("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stod(line.substr(key.size() + 1)) / 1024;
        }
    }
    return 0;
}

HackCost measureHack(const std::string& name, int width, int height, double settle,
                     double measured) {
    HackCost cost;
    const std::string installed = hackFolder + name;
    if (access(installed.c_str(), X_OK) != 0) {
        cost.reason = installed + " is not installed";
        return cost;
    }
    const bool root = geteuid() == 0;
    if (root && access(setpriv, X_OK) != 0) {
        cost.reason = "the hacks refuse root and there is no setpriv to run them as nobody";
        return cost;
    }
    // A folder of its own that the unprivileged user can enter: the copy of the hack, its home.
    fixtures::TempDirectory home;
    chmod(home.path().c_str(), 0755);
    const std::string copy = home.file(name);
    std::error_code failed;
    std::filesystem::copy_file(installed, copy, failed);
    chmod(copy.c_str(), 0755);
    fixtures::XServer server(std::to_string(width) + "x" + std::to_string(height) + "x24");
    if (failed || !server.running()) {
        cost.reason = failed ? "the hack could not be copied" : "Xvfb did not start";
        return cost;
    }
    std::vector<std::string> words;
    if (root) {
        words = {setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    words.insert(words.end(), {copy, "-root"});
    std::vector<char*> arguments;
    for (auto& word : words) {
        arguments.push_back(word.data());
    }
    arguments.push_back(nullptr);
    std::string display = "DISPLAY=" + server.name();
    std::string homeVariable = "HOME=" + home.path();
    char path[] = "PATH=/usr/bin:/bin";
    char* environment[] = {display.data(), homeVariable.data(), path, nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, arguments[0], nullptr, nullptr, arguments.data(), environment) != 0) {
        cost.reason = "the hack could not be started";
        return cost;
    }
    wait(settle);
    const double ownStart = cpuSeconds(pid);
    const double serverStart = cpuSeconds(server.pid());
    wait(measured);
    cost.cpuPercent = 100 * (cpuSeconds(pid) - ownStart) / measured;
    cost.serverPercent = 100 * (cpuSeconds(server.pid()) - serverStart) / measured;
    cost.rssMegabytes = statusMegabytes(std::to_string(pid), "VmRSS");
    int status = 0;
    cost.ran = waitpid(pid, &status, WNOHANG) == 0;
    if (!cost.ran) {
        cost.reason = "the hack ended on its own";
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return cost;
}

}  // namespace floodmark::bench
