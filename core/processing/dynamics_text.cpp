#include "processing/dynamics_text.h"

#include "presets/data_text.h"

namespace quorvel {

std::string noiseDataText(const GateSettings& gate) {
    std::string t;
    appendHex(t, gate.gateEnabled, 2);
    appendHex(t, gate.gateThreshold, 2);
    appendHex(t, gate.gateAttack, 2);
    appendHex(t, gate.gateRelease, 2);
    return t;
}

std::string compressorDataText(const Dynamics& comp) {
    std::string t;
    appendHex(t, comp.compEnabled, 2);
    appendHex(t, comp.compThreshold, 2);
    appendHex(t, comp.compRatio, 2);
    appendHex(t, comp.compAttack, 2);
    appendHex(t, comp.compRelease, 2);
    appendHex(t, comp.compGain, 2);
    return t;
}

bool readNoiseDataText(std::string_view text, GateSettings& gate, std::string& error) {
    GateSettings g = gate;
    HexReader r(text, "NOISE", kNoiseTextLength);
    r.group(2, g.gateEnabled).group(2, g.gateThreshold).group(2, g.gateAttack).group(2, g.gateRelease);
    if (!r.finish()) {
        error = r.error();
        return false;
    }
    gate = g;
    return true;
}

bool readCompressorDataText(std::string_view text, Dynamics& comp, std::string& error) {
    Dynamics c = comp;
    HexReader r(text, "Compressor", kCompressorTextLength);
    r.group(2, c.compEnabled)
        .group(2, c.compThreshold)
        .group(2, c.compRatio)
        .group(2, c.compAttack)
        .group(2, c.compRelease)
        .group(2, c.compGain);
    if (!r.finish()) {
        error = r.error();
        return false;
    }
    comp = c;
    return true;
}

} // namespace quorvel
