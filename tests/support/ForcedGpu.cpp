#include "platform/gl/GpuDevice.h"

namespace {

// The tests draw on the GPU path even where it is Mesa's llvmpipe, as --gpu makes the saver do;
// a test of the Cairo path turns it off itself.
[[maybe_unused]] const bool forcedGpu = [] {
    floodmark::GpuDevice::setPolicy(floodmark::GpuPolicy::forced);
    return true;
}();

}  // namespace
