#include "wayland/CompanionWater.h"

#include "platform/kit/InternetTime.h"
#include "platform/kit/Time.h"
#include "support/PictureDifference.h"
#include "support/RunFloodmark.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace floodmark::fixtures {

void writeCompanionState(const TempDirectory& home, const std::string& impulse) {
    mkdir(home.file(".tolvera").c_str(), 0700);
    std::string now = formatInternetTime(currentTime());
    std::string text = R"({"schema":1,"y":0.6,"x":0,"severity":4,"updatedAt":")" + now + "\"";
    if (!impulse.empty()) {
        text += R"(,"impulse":")" + impulse + R"(","impulseAt":")" + now + "\"";
    }
    writeFile(home.file(".tolvera/away_state.json"), text + "}");
}

bool showsWater(const WaylandCompositor& compositor, const std::string& output,
                const std::string& path, int width, int height) {
    if (!compositor.screenshot(output, path) || pngSize(path) != std::pair{width, height}) {
        return false;
    }
    auto water = pngPixel(path, width / 10, static_cast<int>(height * 0.7));
    auto air = pngPixel(path, width / 10, static_cast<int>(height * 0.3));
    return water.red > water.green + 15 && water.green > water.blue &&
           std::abs(air.red - air.blue) < 12 && air.blue > 10;
}

std::string snapshotOfCompanionWater(const TempDirectory& home, const std::string& size,
                                     double scale, const std::string& options) {
    std::ostringstream scaleText;
    scaleText << scale;
    std::string path = home.file("snapshot-" + size + "@" + scaleText.str() + ".png");
    auto run = runFloodmark("snapshot --cpu --size " + size + " --scale " + scaleText.str() +
                                " --y 0.6 --x 0 --severity 4 --out " + path + " " + options,
                            home.path());
    return run.status == 0 ? path : "";
}

int saverViews(const TempDirectory& home) {
    std::string folder = home.file(".local/state/TolveraFloodmarkSaver/status");
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        std::ifstream file(entry.path());
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::smatch match;
        if (std::regex_search(text, match, std::regex(R"("saverViews":(\d+))"))) {
            return std::stoi(match[1]);
        }
    }
    return -1;
}

void expectSameWater(const std::string& shot, const std::string& snapshot) {
    auto difference = differenceOfPngs(shot, snapshot, 24);
    EXPECT_LT(difference.mean, 2.0);
    EXPECT_LT(difference.farShare, 0.03);
}

}  // namespace floodmark::fixtures
