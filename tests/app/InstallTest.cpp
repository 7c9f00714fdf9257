#include "FloodmarkSaver/idle/XScreenSaverSettings.h"
#include "support/RunFloodmark.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cairo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace floodmark {
namespace {

using fixtures::TempDirectory;

std::string contentOf(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool samePixels(const std::string& a, const std::string& b) {
    cairo_surface_t* first = cairo_image_surface_create_from_png(a.c_str());
    cairo_surface_t* second = cairo_image_surface_create_from_png(b.c_str());
    bool same =
        cairo_surface_status(first) == CAIRO_STATUS_SUCCESS &&
        cairo_surface_status(second) == CAIRO_STATUS_SUCCESS &&
        cairo_image_surface_get_height(first) == cairo_image_surface_get_height(second) &&
        cairo_image_surface_get_stride(first) == cairo_image_surface_get_stride(second) &&
        std::equal(cairo_image_surface_get_data(first),
                   cairo_image_surface_get_data(first) + cairo_image_surface_get_stride(first) *
                                                             cairo_image_surface_get_height(first),
                   cairo_image_surface_get_data(second));
    cairo_surface_destroy(first);
    cairo_surface_destroy(second);
    return same;
}

int run(const std::string& command) {
    return WEXITSTATUS(std::system(command.c_str()));
}

// `cmake --install` lays out every file the hosts look for, and the installed program, far from
// the build and source trees, draws its clock in the shipped fonts: pixel for pixel what the
// build tree's program draws.
TEST(Install, LaysOutEveryFileAndTheInstalledProgramFindsItsFonts) {
    TempDirectory root;
    ASSERT_EQ(
        run("DESTDIR=" + root.path() + " cmake --install " FLOODMARK_BUILD_DIR " --prefix /usr >" +
            root.file("said.txt")),
        0);
    for (const char* file :
         {"usr/bin/floodmark", "usr/libexec/floodmark/floodmark-saver",
          "usr/libexec/floodmark/floodmark-options", "usr/libexec/floodmark/floodmark-idle",
          "usr/lib/systemd/user/floodmark-idle.service",
          "usr/share/applications/floodmark-options.desktop",
          "usr/share/floodmark/fonts/IBMPlexSans-Medium.ttf",
          "usr/share/floodmark/fonts/IBMPlexMono-Regular.ttf",
          "usr/share/floodmark/fonts/LICENSE.txt", "usr/share/xscreensaver/config/floodmark.xml",
          "usr/share/applications/screensavers/floodmark.desktop",
          "usr/share/man/man1/floodmark.1.gz", "usr/share/doc/floodmark/copyright",
          "usr/share/doc/floodmark/changelog.gz"}) {
        EXPECT_TRUE(fixtures::fileExists(root.file(file))) << file;
    }
    char target[256] = {};
    ASSERT_GT(readlink(root.file("usr/libexec/xscreensaver/floodmark").c_str(), target,
                       sizeof target - 1),
              0);
    EXPECT_STREQ(target, "../../bin/floodmark");

    const std::string arguments =
        " snapshot --size 320x200 --clock 12:34 --message Away --chrome-alpha 1 --cpu --out ";
    EXPECT_EQ(run(root.file("usr/libexec/xscreensaver/floodmark") + arguments +
                  root.file("installed.png")),
              0);
    EXPECT_EQ(run(std::string(FLOODMARK_BINARY) + arguments + root.file("built.png")), 0);
    EXPECT_TRUE(samePixels(root.file("installed.png"), root.file("built.png")));

    // The hosts' own checks: XScreenSaver's settings by its format, the desktop entry by the
    // freedesktop validator.
    EXPECT_EQ(
        run("python3 -c \"import xml.etree.ElementTree as E; r = E.parse('" +
            root.file("usr/share/xscreensaver/config/floodmark.xml") +
            "').getroot(); assert r.tag == 'screensaver' and r.get('name') == 'floodmark' "
            "and r.find('command').get('arg') == '--root' and "
            "r.find('boolean').get('arg-set') == '--cpu' and r.find('_description') is not None\""),
        0);
    EXPECT_EQ(run("desktop-file-validate " +
                  root.file("usr/share/applications/screensavers/floodmark.desktop") + " " +
                  root.file("usr/share/applications/floodmark-options.desktop")),
              0);
    // xfce4- and mate-screensaver run only what lies in their fixed folders, whatever the
    // prefix, and load their menu of savers without hidden entries. Debian's XScreenSaver reads
    // settings only under /usr: any other prefix is told the links the hosts need.
    TempDirectory local;
    ASSERT_EQ(run("DESTDIR=" + local.path() +
                  " cmake --install " FLOODMARK_BUILD_DIR " --prefix /usr/local >" +
                  local.file("said.txt")),
              0);
    EXPECT_EQ(contentOf(root.file("said.txt")).find("ln -s"), std::string::npos);
    std::string said = contentOf(local.file("said.txt"));
    for (const char* link :
         {"\n  ln -s /usr/local/bin/floodmark /usr/libexec/xscreensaver/floodmark\n",
          "\n  ln -s /usr/local/share/xscreensaver/config/floodmark.xml "
          "/usr/share/xscreensaver/config/\n"}) {
        EXPECT_NE(said.find(link), std::string::npos) << said;
    }
    // The unit and the menu entry name the program where it was installed, whatever prefix the
    // build was configured for (this one: /usr/local).
    const std::pair<std::string, const char*> namings[] = {
        {root.file("usr/lib/systemd/user/floodmark-idle.service"),
         "\nExecStart=/usr/bin/floodmark idle\n"},
        {local.file("usr/local/lib/systemd/user/floodmark-idle.service"),
         "\nExecStart=/usr/local/bin/floodmark idle\n"},
        {root.file("usr/share/applications/floodmark-options.desktop"),
         "\nExec=/usr/libexec/floodmark/floodmark-options\n"},
        {local.file("usr/local/share/applications/floodmark-options.desktop"),
         "\nExec=/usr/local/libexec/floodmark/floodmark-options\n"},
    };
    for (const auto& [file, line] : namings) {
        EXPECT_NE(contentOf(file).find(line), std::string::npos) << file;
    }
    for (const auto& entry :
         {root.file("usr/share/applications/screensavers/floodmark.desktop"),
          local.file("usr/local/share/applications/screensavers/floodmark.desktop")}) {
        std::string content = contentOf(entry);
        EXPECT_NE(content.find("\nExec=/usr/libexec/xscreensaver/floodmark --root\n"),
                  std::string::npos)
            << entry;
        EXPECT_NE(content.find("\nTryExec=/usr/libexec/xscreensaver/floodmark\n"),
                  std::string::npos)
            << entry;
        EXPECT_EQ(content.find("NoDisplay"), std::string::npos) << entry;
    }
}

// The Debian package holds the same layout under /usr, its unit naming /usr/bin/floodmark even from
// a build configured for /usr/local, but not floodmark itself or its manual page: they are
// floodmark-tools', of the same version, which it depends on beside the libraries of the X11 and
// Wayland hosts.
TEST(Install, TheDebianPackageHoldsTheLayoutAndItsDependencies) {
    TempDirectory directory;
    ASSERT_EQ(run("cd " + directory.path() +
                  " && cpack --config " FLOODMARK_BUILD_DIR "/CPackConfig.cmake -B " +
                  directory.path() + " >/dev/null 2>&1"),
              0);
    std::string deb = directory.file("floodmark_0.1.0_amd64.deb");
    ASSERT_TRUE(fixtures::fileExists(deb));
    ASSERT_EQ(run("dpkg-deb -x " + deb + " " + directory.file("unpacked")), 0);
    EXPECT_TRUE(
        fixtures::fileExists(directory.file("unpacked/usr/libexec/floodmark/floodmark-saver")));
    for (const char* tools : {"usr/bin/floodmark", "usr/share/man/man1/floodmark.1.gz"}) {
        EXPECT_FALSE(fixtures::fileExists(directory.file("unpacked/") + tools)) << tools;
    }
    EXPECT_NE(contentOf(directory.file("unpacked/usr/lib/systemd/user/floodmark-idle.service"))
                  .find("\nExecStart=/usr/bin/floodmark idle\n"),
              std::string::npos);
    ASSERT_EQ(run("dpkg-deb -f " + deb + " Depends > " + directory.file("depends.txt")), 0);
    std::string depends = contentOf(directory.file("depends.txt"));
    for (const char* library : {"floodmark-tools (= 0.1.0)", "libcairo2", "libx11-6", "libxss1",
                                "libwayland-client0", "libwayland-egl1", "libegl1", "libgtk-4-1"}) {
        EXPECT_NE(depends.find(library), std::string::npos) << library << " in " << depends;
    }
}

// Every command and option that --help names is in the manual page.
TEST(Install, TheManualPageCoversTheHelp) {
    TempDirectory home;
    auto help = fixtures::runFloodmark("--help", home.path());
    EXPECT_EQ(help.status, 0);
    std::string usage;
    for (const auto& line : help.lines)
        usage += line + "\n";
    std::string manual =
        std::regex_replace(contentOf(FLOODMARK_MANUAL_PAGE), std::regex(R"(\\-)"), "-");
    std::set<std::string> words;
    std::regex word(R"(--?[a-z][a-z-]*|floodmark [a-z][a-z-]+)");
    for (std::sregex_iterator it(usage.begin(), usage.end(), word), end; it != end; ++it) {
        words.insert(it->str());
    }
    EXPECT_GT(words.size(), 40u);
    for (const auto& entry : words) {
        std::string name = entry.starts_with("floodmark ") ? entry.substr(10) : entry;
        EXPECT_NE(manual.find(name), std::string::npos) << entry;
    }
    const std::pair<const char*, int> exits[] = {
        {"--version", 0},
        {"hook --help", 0},
        {"signal --help", 0},
        {"status --help", 0},
        {"away --help", 0},
        {"demo --help", 0},
        {"render --help", 0},
        {"snapshot --help", 0},
        {"frames --help", 0},
        {"install-hack --help", 0},
        {"signal --evnt x --session s", 2},
        {"away --y 2", 2},
        {"no-such-command", 2},
    };
    for (const auto& [arguments, status] : exits) {
        EXPECT_EQ(fixtures::runFloodmark(arguments, home.path()).status, status) << arguments;
    }
}

// XScreenSaver's settings gain the hack once, first in the list, every other line kept.
TEST(Install, InstallHackAddsTheProgramOnce) {
    using XScreenSaverSettings::withHack;
    const std::string entry = "  GL: \"Floodmark\" floodmark --root";
    const std::string head = "programs:\t\t\t\t\t\t\t\t      \\\n";
    EXPECT_EQ(
        withHack(std::string(
            "mode: random\nprograms:\t\\\n  qix -root \\n\\\n  GL: bubble3d -root \\n\n")),
        "mode: random\n" + head + entry + " \\n\\\n  qix -root \\n\\\n  GL: bubble3d -root \\n\n");
    EXPECT_EQ(withHack(std::string("mode: one\nprograms: qix -root\nlock: False\n")),
              "mode: one\n" + head + entry + " \\n\\\n  qix -root\nlock: False\n");
    EXPECT_EQ(withHack(std::string("mode: one")), "mode: one\n" + head + entry + "\n");
    EXPECT_EQ(withHack(std::string("programs: floodmark --root\n")), std::nullopt);
    EXPECT_NE(withHack(std::nullopt)->find("programs:"), std::string::npos);

    TempDirectory home;
    auto first = fixtures::runFloodmark("install-hack", home.path());
    EXPECT_EQ(first.status, 0);
    std::string created = contentOf(home.file(".xscreensaver"));
    EXPECT_NE(created.find(entry), std::string::npos);
    auto second = fixtures::runFloodmark("install-hack --user", home.path());
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(contentOf(home.file(".xscreensaver")), created);
    EXPECT_FALSE(fixtures::fileExists(home.file(".xscreensaver.before-floodmark")));
}

}  // namespace
}  // namespace floodmark
