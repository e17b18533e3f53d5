#include "processing/peq_text.h"

#include "presets/data_text.h"

namespace quorvel {

std::string peqDataText(const InputChannel& ch) {
    std::string t;
    t.reserve(kPeqTextLength);
    for (int b = 0; b < kPeqBands; ++b) {
        const PeqBand& band = ch.peq[static_cast<std::size_t>(b)];
        appendHex(t, band.bandType, 2);
        appendHex(t, band.bandQ, 4);
        appendHex(t, band.bandGain, 4);
        appendHex(t, band.bandFreq, 4);
    }
    t.push_back(',');
    appendHex(t, ch.hpfOn, 2);
    appendHex(t, ch.hpfType, 2);
    appendHex(t, ch.hpfSlope, 4);
    appendHex(t, ch.hpfFreq, 4);
    t.push_back(',');
    appendHex(t, ch.lpfOn, 2);
    appendHex(t, ch.lpfType, 2);
    appendHex(t, ch.lpfSlope, 4);
    appendHex(t, ch.lpfFreq, 4);
    return t;
}

bool readPeqDataText(std::string_view text, InputChannel& ch, std::string& error) {
    InputChannel c = ch;
    HexReader r(text, "PEQ", kPeqTextLength);
    for (int b = 0; b < kPeqBands; ++b) {
        PeqBand& band = c.peq[static_cast<std::size_t>(b)];
        r.group(2, band.bandType).group(4, band.bandQ).group(4, band.bandGain).group(4, band.bandFreq);
    }
    r.literal(',').group(2, c.hpfOn).group(2, c.hpfType).group(4, c.hpfSlope).group(4, c.hpfFreq);
    r.literal(',').group(2, c.lpfOn).group(2, c.lpfType).group(4, c.lpfSlope).group(4, c.lpfFreq);
    if (!r.finish()) {
        error = r.error();
        return false;
    }
    for (int b = 0; b < kPeqBands; ++b) {
        ch.peq[static_cast<std::size_t>(b)] = c.peq[static_cast<std::size_t>(b)];
    }
    ch.hpfOn = c.hpfOn;
    ch.hpfType = c.hpfType;
    ch.hpfSlope = c.hpfSlope;
    ch.hpfFreq = c.hpfFreq;
    ch.lpfOn = c.lpfOn;
    ch.lpfType = c.lpfType;
    ch.lpfSlope = c.lpfSlope;
    ch.lpfFreq = c.lpfFreq;
    return true;
}

} // namespace quorvel
