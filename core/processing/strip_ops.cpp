#include "processing/strip_ops.h"

#include <cstdio>

namespace quorvel {

int gainStepCount(int channel) {
    return channel >= 1 && channel <= 8 ? 4 : 2;
}

std::vector<std::string> gainStepLabels(int channel) {
    if (gainStepCount(channel) == 4) return {"15 dB", "25 dB", "35 dB", "45 dB"};
    return {"0 dB", "10 dB"};
}

std::string delayLabel(int index) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0.1f ms", index * 0.5);
    return buf;
}

} // namespace quorvel
