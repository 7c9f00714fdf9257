#include "platform/kit/Time.h"

#include <chrono>

namespace floodmark {

double currentTime() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace floodmark
