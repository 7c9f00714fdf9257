// A calibration file restored, observed once and written back.
#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/live/LiveDemandCalibration.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto restored =
        floodmark::parseJsonText(std::string_view(reinterpret_cast<const char*>(data), size));
    floodmark::LiveDemandCalibration calibration(&restored);
    calibration.observe(1.5, 2, 1.8e9, 0.25);
    (void)calibration.yDenominator();
    (void)calibration.xDenominator();
    (void)calibration.toJson().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return 0;
}
