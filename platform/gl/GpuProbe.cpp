#include "platform/gl/GpuProbe.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace floodmark {

namespace {

// Kernel drivers that expose a render node but draw in software.
bool isSoftwareDriver(std::string_view driver) {
    return driver == "vgem" || driver == "vkms";
}

bool saysYes(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' && std::string_view(value) != "0" &&
           std::string_view(value) != "false";
}

}  // namespace

std::string GpuProbe::whyNoHardware(const std::string& drmClasses) {
    // Mesa's own switch to software, honoured before it is loaded.
    if (saysYes("LIBGL_ALWAYS_SOFTWARE")) {
        return "LIBGL_ALWAYS_SOFTWARE asks for a software rasteriser";
    }
    namespace fs = std::filesystem;
    std::error_code error;
    bool anyNode = false;
    for (fs::directory_iterator entry(drmClasses, error), end; !error && entry != end;
         entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (name.rfind("renderD", 0) != 0) {
            continue;
        }
        anyNode = true;
        std::error_code linkError;
        fs::path driver = fs::read_symlink(entry->path() / "device" / "driver", linkError);
        if (!linkError && !isSoftwareDriver(driver.filename().string())) {
            return {};
        }
    }
    return anyNode ? "no DRM render node has a hardware driver" : "no DRM render node";
}

}  // namespace floodmark
