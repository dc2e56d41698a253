#include "services/state_names.h"

const char* serviceStateName(uint32_t state) {
    static const char* const kNames[] = {"stopped",          "start pending", "stop pending", "running",
                                         "continue pending", "pause pending", "paused"};
    if (state < 1 || state > 7) return "unknown";
    return kNames[state - 1];
}
