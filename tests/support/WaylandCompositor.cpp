#include "support/WaylandCompositor.h"

#include "support/WaitUntil.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace floodmark::fixtures {

namespace {

constexpr uid_t nobody = 65534;

// The first entry of `directory` whose name starts with `prefix` and does not end in `.lock`.
std::string findEntry(const std::string& directory, const std::string& prefix) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
        std::string name = entry.path().filename();
        if (name.starts_with(prefix) && !name.ends_with(".lock")) {
            return name;
        }
    }
    return {};
}

bool runningAsRoot() {
    return geteuid() == 0;
}

const std::string debian13Root = FLOODMARK_DEBIAN13_ROOT;

std::string readFirstLine(const std::string& path) {
    std::string line;
    std::ifstream file(path);
    std::getline(file, line);
    return line;
}

// Runs `words` from the Debian 13 root: /proc, /dev (with /dev/shm) and /sys bound into it in a
// mount namespace that goes with the process. Each exec keeps the pid, which is sway's in the
// end.
std::vector<std::string> chrootedInDebian13(const std::vector<std::string>& words) {
    std::vector<std::string> wrapped{
        "unshare",
        "--mount",
        "--propagation",
        "private",
        "--",
        "sh",
        "-c",
        R"(for place in proc dev sys; do mount --rbind "/$place" "$0/$place" || exit 126; done
exec chroot "$0" "$@")",
        debian13Root};
    wrapped.insert(wrapped.end(), words.begin(), words.end());
    return wrapped;
}

// Whether the machine's own sway is 1.10 or later, as Debian 13's is: then it serves the tests
// that want Debian 13's sway without a root, and no longer offers KDE's idle protocol.
bool machineSwayIsDebian13s() {
    static const bool newer = [] {
        std::string version;
        if (FILE* pipe = popen("sway --version 2>/dev/null", "r")) {
            char line[128] = {};
            if (fgets(line, sizeof line, pipe) != nullptr) {
                version = line;
            }
            pclose(pipe);
        }
        int major = 0;
        int minor = 0;
        return std::sscanf(version.c_str(), "sway version %d.%d", &major, &minor) == 2 &&
               (major > 1 || (major == 1 && minor >= 10));
    }();
    return newer;
}

}  // namespace

std::string WaylandCompositor::unavailableKdeIdle() {
    return machineSwayIsDebian13s()
               ? "this machine's sway is 1.10 or later, whose wlroots dropped KDE's idle protocol"
               : "";
}

std::string WaylandCompositor::unavailable(Kind kind) {
    if (kind == Kind::mutter || kind == Kind::cage) {
        std::string name = kind == Kind::mutter ? "mutter" : "cage";
        return std::system(("command -v " + name + " >/dev/null").c_str()) == 0
                   ? ""
                   : name + " is not installed";
    }
    if (kind != Kind::debian13Sway || machineSwayIsDebian13s()) {
        return {};
    }
    if (!runningAsRoot()) {
        return "Debian 13's sway runs by chroot, which needs root";
    }
    if (fileExists(debian13Root + "/.complete")) {
        return {};
    }
    std::string why = readFirstLine(debian13Root + ".skipped");
    return "no Debian 13 root with sway in " + debian13Root + ": " +
           (why.empty() ? "scripts/make-sway-root makes it" : why);
}

WaylandCompositor::WaylandCompositor(Kind kind, const std::vector<std::string>& outputSizes)
    : kind_(kind),
      chrooted_(kind == Kind::debian13Sway && !machineSwayIsDebian13s()),
      place_(chrooted_ ? debian13Root + "/run" : "/tmp"),
      runtime_(place_.file("run")),
      outputs_(outputSizes.size()) {
    if (!unavailable(kind).empty() || place_.path().empty()) {
        return;
    }
    mkdir(runtime_.c_str(), 0700);
    std::vector<std::string> words;
    std::vector<std::string> environment{"HOME=" + seenInside(place_.path()),
                                         "XDG_RUNTIME_DIR=" + seenInside(runtime_),
                                         "PATH=/usr/sbin:/usr/bin:/sbin:/bin"};
    if (isSway() || kind == Kind::cage) {
        environment.insert(environment.end(),
                           {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                            "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputSizes.size()),
                            "WLR_LIBINPUT_NO_DEVICES=1"});
    }
    if (kind == Kind::cage) {
        words = {"cage", "--", "sleep", "infinity"};  // a kiosk of nothing until a client comes
    } else if (isSway()) {
        std::string config = "xwayland disable\n";
        for (std::size_t index = 0; index < outputSizes.size(); ++index) {
            config += "output HEADLESS-" + std::to_string(index + 1) + " mode " +
                      outputSizes[index] + "\n";
        }
        writeFile(place_.file("config"), config);
        words = {"sway", "-c", seenInside(place_.file("config"))};
    } else if (kind == Kind::mutter) {
        // dbus-run-session ends the bus with mutter; the shell says mutter's pid and the bus's
        // address first. Without Xwayland mutter claims no X display of the machine's.
        std::string command =
            "echo $$ > pid && echo \"$DBUS_SESSION_BUS_ADDRESS\" > bus && exec mutter "
            "--headless --wayland --no-x11 --wayland-display " +
            socket_;
        for (const auto& size : outputSizes) {
            command += " --virtual-monitor " + size;
        }
        words = {"dbus-run-session", "--", "sh", "-c", command};
        environment.push_back("GSETTINGS_BACKEND=memory");
    } else {
        std::string size = outputSizes.empty() ? "640x360" : outputSizes.front();
        auto split = size.find('x');
        // No panel: weston 14 keeps a full-screen window that has no keyboard focus (none
        // can have it with no input devices) in the desktop's layer, below the panel.
        writeFile(place_.file("weston.ini"), "[shell]\npanel-position=none\n");
        words = {"weston",
                 "--backend=headless-backend.so",
                 "--use-pixman",
                 "--config=" + place_.file("weston.ini"),
                 "--debug",
                 "--idle-time=0",
                 "--socket=" + socket_,
                 "--width=" + size.substr(0, split),
                 "--height=" + size.substr(split + 1)};
    }
    // Mutter runs as root.
    if (runningAsRoot() && kind != Kind::mutter) {
        if (chown(place_.path().c_str(), nobody, nobody) != 0 ||
            chown(runtime_.c_str(), nobody, nobody) != 0) {
            return;
        }
        words.insert(words.begin(),
                     {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    if (chrooted_) {
        words = chrootedInDebian13(words);
    }
    pid_ = fork();
    if (pid_ == 0) {
        // A process group of its own, so that what it starts ends with it.
        setpgid(0, 0);
        chdir(place_.path().c_str());
        int log = ::open(place_.file("log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& variable : environment) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    setpgid(pid_, pid_);
    running_ = waitUntil([&] {
        if (isSway() || kind_ == Kind::cage) {
            std::string found = findEntry(runtime_, "wayland-");
            if (found.empty() || (isSway() && findEntry(runtime_, "sway-ipc.").empty())) {
                return false;
            }
            socket_ = found;
            return kind_ == Kind::cage || swaymsg("-t get_outputs") == 0;
        }
        if (kind_ == Kind::mutter) {
            std::ifstream bus(place_.file("bus"));
            std::getline(bus, busAddress_);
            std::ifstream(place_.file("pid")) >> mutterPid_;
            if (busAddress_.empty() || mutterPid_ <= 0) {
                return false;
            }
        }
        return fileExists(socketPath());
    });
    // Mutter may make its socket before it owns its D-Bus names.
    if (running_ && kind == Kind::mutter) {
        running_ = runWith("gdbus wait --address '" + busAddress_ +
                           "' --timeout 10 org.gnome.Mutter.IdleMonitor") == 0;
    }
}

WaylandCompositor::~WaylandCompositor() {
    kill();
}

std::string WaylandCompositor::seenInside(const std::string& path) const {
    return chrooted_ ? path.substr(debian13Root.size()) : path;
}

void WaylandCompositor::kill() {
    if (pid_ > 0) {
        bool ended = false;
        if (mutterPid_ > 0) {
            // Mutter alone, so that dbus-run-session reaps it and ends the bus, leaving no zombie.
            ::kill(mutterPid_, SIGKILL);
            ended = waitUntil([&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; },
                              std::chrono::seconds(5));
        }
        if (!ended) {
            ::kill(-pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }
    running_ = false;
}

std::vector<std::string> WaylandCompositor::environment() const {
    std::vector<std::string> variables{"XDG_RUNTIME_DIR=" + runtime_, "WAYLAND_DISPLAY=" + socket_,
                                       "DISPLAY=", "WAYLAND_SOCKET="};
    if (!busAddress_.empty()) {
        variables.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress_);
    }
    return variables;
}

std::vector<std::string> WaylandCompositor::outputNames() const {
    std::vector<std::string> names;
    for (std::size_t index = 0; index < outputs_; ++index) {
        names.push_back(isSway()                ? "HEADLESS-" + std::to_string(index + 1)
                        : kind_ == Kind::mutter ? "Meta-" + std::to_string(index)
                                                : "headless");
    }
    return names;
}

std::string WaylandCompositor::environmentWords() const {
    return "env XDG_RUNTIME_DIR=" + runtime_ + " WAYLAND_DISPLAY=" + socket_ +
           " SWAYSOCK=" + runtime_ + "/" + findEntry(runtime_, "sway-ipc.") + " ";
}

int WaylandCompositor::runWith(const std::string& command) const {
    int status = std::system((environmentWords() + command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int WaylandCompositor::swaymsg(const std::string& command) const {
    return runWith("swaymsg " + command);
}

std::string WaylandCompositor::swayReply(const std::string& query) const {
    std::string reply;
    if (FILE* pipe = popen((environmentWords() + "swaymsg " + query).c_str(), "r")) {
        char chunk[4096];
        for (std::size_t count; (count = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            reply.append(chunk, count);
        }
        pclose(pipe);
    }
    return reply;
}

bool WaylandCompositor::screenshot(const std::string& output, const std::string& path) const {
    if (isSway()) {
        return runWith("grim -o " + output + " " + path) == 0 && fileExists(path);
    }
    if (kind_ == Kind::mutter) {
        return false;  // mutter shows its screen only through PipeWire
    }
    // weston-screenshooter writes wayland-screenshot-*.png where it runs.
    TempDirectory shots;
    if (runWith("sh -c 'cd " + shots.path() + " && weston-screenshooter'") != 0) {
        return false;
    }
    std::string taken = findEntry(shots.path(), "wayland-screenshot");
    return !taken.empty() && std::rename(shots.file(taken).c_str(), path.c_str()) == 0;
}

pid_t WaylandCompositor::spawn(const std::vector<std::string>& words) const {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        setenv("WAYLAND_DISPLAY", socket_.c_str(), 1);
        if (!busAddress_.empty()) {
            setenv("DBUS_SESSION_BUS_ADDRESS", busAddress_.c_str(), 1);
        }
        std::vector<char*> argv;
        for (const auto& word : words) {
            argv.push_back(const_cast<char*>(word.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

bool WaylandCompositor::showsCanvas(const std::string& output, const std::string& path) const {
    if (!screenshot(output, path)) {
        return false;
    }
    auto canvas = pngPixel(path, 40, 60);
    return canvas.blue > 10 && canvas.blue < 45;
}

}  // namespace floodmark::fixtures
