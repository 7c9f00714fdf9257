#include "wayland/CompanionWater.h"

#include "platform/kit/InternetTime.h"
#include "platform/kit/Time.h"
#include "support/PictureDifference.h"
#include "support/RunFloodmark.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

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

std::string snapshotOfCompanionWater(const TempDirectory& home, const std::string& size, int scale,
                                     const std::string& options) {
    std::string path = home.file("snapshot-" + size + "@" + std::to_string(scale) + ".png");
    auto run = runFloodmark("snapshot --cpu --size " + size + " --scale " + std::to_string(scale) +
                                " --y 0.6 --x 0 --severity 4 --out " + path + " " + options,
                            home.path());
    return run.status == 0 ? path : "";
}

void expectSameWater(const std::string& shot, const std::string& snapshot) {
    auto difference = differenceOfPngs(shot, snapshot, 24);
    EXPECT_LT(difference.mean, 2.0);
    EXPECT_LT(difference.farShare, 0.03);
}

}  // namespace floodmark::fixtures
