// An agent's hook payload, read as each agent's; the first byte picks the event override.
#include "FloodmarkSaver/common/JsonText.h"
#include "FloodmarkSaver/hooks/AgentHook.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto payload =
        floodmark::parseJsonText(std::string_view(reinterpret_cast<const char*>(data), size));
    for (auto agent : floodmark::AgentHook::agents) {
        for (const char* event : {"", "preToolUse", "userPromptSubmitted", "postToolUse"}) {
            if (auto line = floodmark::AgentHook::lineFor({agent, payload, event, 4242})) {
                (void)line->dump();
            }
        }
    }
    return 0;
}
