#pragma once

// While one lives, allocations are not reported as leaks: for the few one-time tables of system
// libraries that are never freed and whose reports could not name the library (one unloaded,
// or built without frame pointers). Nothing outside the address sanitizer.

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace floodmark {

#if defined(__SANITIZE_ADDRESS__)
using LeakCheckPause = __lsan::ScopedDisabler;
#else
struct LeakCheckPause {};
#endif

}  // namespace floodmark
