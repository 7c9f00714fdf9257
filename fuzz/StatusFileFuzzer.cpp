// A status file as `floodmark status` shows it.
#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/status/StatusReport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto status =
        floodmark::parseJsonText(std::string_view(reinterpret_cast<const char*>(data), size));
    floodmark::StatusReport report{"/status",
                                   {{"/status/42.json", 42, std::nullopt, std::nullopt, 1.8e9}}};
    if (status.is_object()) {
        report.processes[0].status = std::move(status);
    }
    (void)report.toText(1.8e9);
    (void)report.toJson().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return 0;
}
