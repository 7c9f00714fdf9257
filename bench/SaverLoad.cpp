#include "SaverLoad.h"

#include "platform/kit/InternetTime.h"
#include "platform/kit/Time.h"
#include "platform/system/AtomicWrite.h"
#include "platform/system/HomeDirectory.h"

#include <ctime>
#include <string>

namespace floodmark::bench {

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void writeAwayState(double y, const char* impulse) {
    std::string now = formatInternetTime(currentTime());
    std::string text = R"({"schema":1,"x":0.6,"severity":3,"y":)" + std::to_string(y) +
                       R"(,"updatedAt":")" + now + "\"";
    if (impulse != nullptr) {
        text += std::string(R"(,"impulse":")") + impulse + R"(","impulseAt":")" + now + "\"";
    }
    writeFileAtomically(expandTilde("~/.tolvera/away_state.json"), text + "}");
}

}  // namespace floodmark::bench
