#include "platform/gl/GpuProbe.h"
#include "support/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace floodmark {
namespace {

namespace fs = std::filesystem;

// A DRM class directory as the kernel lays it out: each node a directory whose
// device/driver links to the driver's directory, named after the driver.
void addNode(const std::string& classes, const std::string& node, const std::string& driver) {
    fs::create_directories(classes + "/" + node + "/device");
    if (!driver.empty()) {
        fs::create_directory_symlink("../../../bus/pci/drivers/" + driver,
                                     classes + "/" + node + "/device/driver");
    }
}

TEST(GpuProbe, OnlyARenderNodeWithAHardwareDriverCountsAsAGpu) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> nodes;  // node, driver
        std::string expected;
    };
    const Case cases[] = {
        {"nothing", {}, "no DRM render node"},
        {"a card without a render node", {{"card0", "i915"}}, "no DRM render node"},
        {"Intel", {{"card0", "i915"}, {"renderD128", "i915"}}, ""},
        {"the virtual GEM driver",
         {{"renderD128", "vgem"}},
         "no DRM render node has a hardware driver"},
        {"a node without a driver",
         {{"renderD128", ""}},
         "no DRM render node has a hardware driver"},
        {"virtual and AMD", {{"renderD128", "vgem"}, {"renderD129", "amdgpu"}}, ""},
    };
    for (const Case& c : cases) {
        fixtures::TempDirectory root;
        std::string classes = root.file("class/drm");
        fs::create_directories(classes);
        for (const auto& [node, driver] : c.nodes) {
            addNode(classes, node, driver);
        }
        EXPECT_EQ(GpuProbe::whyNoHardware(classes), c.expected) << c.name;
    }
    EXPECT_EQ(GpuProbe::whyNoHardware("/nonexistent/drm"), "no DRM render node");
}

TEST(GpuProbe, MesasSoftwareSwitchWinsOverAHardwareDriver) {
    fixtures::TempDirectory root;
    addNode(root.path(), "renderD128", "amdgpu");
    ::setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    EXPECT_EQ(GpuProbe::whyNoHardware(root.path()),
              "LIBGL_ALWAYS_SOFTWARE asks for a software rasteriser");
    ::setenv("LIBGL_ALWAYS_SOFTWARE", "0", 1);
    EXPECT_EQ(GpuProbe::whyNoHardware(root.path()), "");
    ::unsetenv("LIBGL_ALWAYS_SOFTWARE");
}

}  // namespace
}  // namespace floodmark
