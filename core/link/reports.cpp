#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>

#include "link/frame.h"
#include "link/gbk.h"
#include "link/reports.h"

namespace quorvel {
namespace {

constexpr int kMaxSections = 64;
constexpr int kInputsThenOutputs = kAnalogInputs + kOutputRecords;
constexpr int kNameChars = 32; // 8 UTF-16 units, four hex digits each
constexpr int kUnitRecordChars = 2 * kUnitSlots;
constexpr int kStatusValues = 22;            // meters, open mask, last open
constexpr int kStatusValuesWithEffects = 26; // then delay in, out, reverberation in, out

// The text a report covers with its checksum, cut at each ",": [0] the letter part, [1] the unit
// number, data from [2]. Views only; a report never costs an allocation.
class Sections {
public:
    explicit Sections(std::string_view frame) {
        std::string_view body = frame.substr(0, frame.size() - 5);
        std::size_t from = 0;
        while (count_ < kMaxSections) {
            const std::size_t comma = body.find(',', from);
            if (comma == std::string_view::npos) {
                part_[static_cast<std::size_t>(count_++)] = body.substr(from);
                break;
            }
            part_[static_cast<std::size_t>(count_++)] = body.substr(from, comma - from);
            from = comma + 1;
        }
    }
    // A section the report does not have reads as empty text: nothing is stored from it.
    std::string_view operator[](int i) const {
        return i < count_ ? part_[static_cast<std::size_t>(i)] : std::string_view{};
    }
    int count() const { return count_; }

private:
    std::array<std::string_view, kMaxSections> part_{};
    int count_ = 0;
};

// Same values as hexDigitValue (any non-hex character is 0, case ignored), as a table: the
// parsers decode every character of a report and this is their inner loop.
constexpr std::array<std::uint8_t, 256> kHexValue = [] {
    std::array<std::uint8_t, 256> t{};
    for (int c = '0'; c <= '9'; ++c)
        t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'a' + 10);
    return t;
}();
inline int hex1(char c) {
    return kHexValue[static_cast<unsigned char>(c)];
}
inline int hex2(char hi, char lo) {
    return hex1(hi) * 16 + hex1(lo);
}

// Sequential reader over one section. Callers check has() first, so nothing is read past it.
class Reader {
public:
    explicit Reader(std::string_view t) : t_(t) {}
    bool has(std::size_t chars) const { return t_.size() - p_ >= chars; }
    int digit() { return hex1(t_[p_++]); }
    int pair() {
        const int v = hex2(t_[p_], t_[p_ + 1]);
        p_ += 2;
        return v;
    }
    int word() {
        const int hi = pair();
        return hi * 256 + pair();
    }

private:
    std::string_view t_;
    std::size_t p_ = 0;
};

// Where the parsers note what they leave out; nowhere for the plain parse* entry points.
struct Notes {
    DispatchResult* result = nullptr;
    void add(DropReason why, int section) const {
        if (result) result->addDrop(why, section);
    }
};

// Sections from `first` on carry nothing any report defines (the empty text after the last comma
// aside).
void extraSections(const Notes& notes, const Sections& sec, int first) {
    for (int i = first; i < sec.count(); ++i)
        if (!sec[i].empty()) notes.add(DropReason::SectionOutOfRange, i);
}

// A per-record section runs over as many whole records as its text holds, never beyond the
// records that exist; fn(index, reader) reads one record, index 0-based. A part record at the end
// and records past the last that exists are left out, and noted.
template <typename Fn>
void eachRecord(const Notes& notes, int index, std::string_view section, std::size_t recordChars,
                int maxRecords, Fn&& fn) {
    Reader r(section);
    for (int i = 0; i < maxRecords && r.has(recordChars); ++i)
        fn(i, r);
    if (section.size() % recordChars != 0) notes.add(DropReason::WrongLength, index);
    if (section.size() / recordChars > static_cast<std::size_t>(maxRecords))
        notes.add(DropReason::SectionOutOfRange, index);
}

// Sections of pairs decode like any hex field of a report: a text of odd length gets a "0" in
// front before it is taken two characters at a time. Sections of single digits do not.
template <typename Fn>
void eachPairRecord(const Notes& notes, int index, std::string_view section, std::size_t recordChars,
                    int maxRecords, Fn&& fn) {
    if (section.size() % 2 == 0) return eachRecord(notes, index, section, recordChars, maxRecords, fn);
    std::string padded;
    padded.reserve(section.size() + 1);
    padded.push_back('0');
    padded.append(section);
    eachRecord(notes, index, std::string_view(padded), recordChars, maxRecords, fn);
}

std::int32_t& inputsThenOutputs(DeviceState& s, int i, std::int32_t InputChannel::*inField,
                                std::int32_t OutputChannel::*outField) {
    return i < kAnalogInputs ? s.input[static_cast<std::size_t>(i)].*inField
                             : s.output[static_cast<std::size_t>(i - kAnalogInputs)].*outField;
}

bool wellFormed(std::string_view frame) {
    return frame.size() >= kMinFrameLength && validateFrame(frame);
}

// What the parsers rely on to stay inside the frame; the checksum is the caller's business.
bool outlined(std::string_view frame) {
    return frame.size() >= kMinFrameLength && frame.front() == '%' && frame.back() == '#';
}

constexpr int kAllInputs = kInputRecords;
constexpr int kInputStrips = 16;

// Sections 28..30 are ours (the sends, the delay, the reverberation): each is read only when it
// has exactly its length, since a value read at the wrong place would set another send. Values are
// clamped into their ranges; an absent section stores nothing and is no fault.
constexpr std::size_t kSendsChars = kInputRecords * 9 * 2;
constexpr std::size_t kDelayChars = 4 + 4 + 2 + 4 + 2 + 2;
constexpr std::size_t kReverbChars = 5 * 2 + 4 + 2 + 2;

bool exactSection(const Notes& notes, const Sections& sec, int index, std::size_t chars) {
    if (sec[index].empty()) return false;
    if (sec[index].size() == chars) return true;
    notes.add(DropReason::WrongLength, index);
    return false;
}

std::int32_t clamped(int v, int lo, int hi) {
    return std::clamp(v, lo, hi);
}

void storeEffects(const Sections& sec, DeviceState& s, const Notes& notes) {
    if (exactSection(notes, sec, 28, kSendsChars)) {
        Reader r(sec[28]);
        for (InputChannel& ch : s.input)
            for (auto& level : ch.sendLevel)
                level = clamped(r.pair(), 0, 70);
    }
    if (exactSection(notes, sec, 29, kDelayChars)) {
        Reader r(sec[29]);
        InputChannel& d = s.in(kDelayRecord);
        auto& p = d.effectParams;
        p[0] = clamped(r.word(), 10, 1000);
        p[1] = clamped(r.word(), 10, 1000);
        p[2] = clamped(r.pair(), 0, 100);
        p[3] = clamped(r.word(), 20, 20000);
        d.mute = clamped(r.pair(), 0, 1);
        d.unused = clamped(r.pair(), 0, 1);
    }
    if (exactSection(notes, sec, 30, kReverbChars)) {
        Reader r(sec[30]);
        InputChannel& v = s.in(kReverbRecord);
        auto& p = v.effectParams;
        for (std::size_t k = 5; k <= 8; ++k)
            p[k] = clamped(r.pair(), 30, 100);
        p[9] = clamped(r.pair(), 1, 100);
        p[10] = clamped(r.word(), 20, 20000);
        v.mute = clamped(r.pair(), 0, 1);
        v.unused = clamped(r.pair(), 0, 1);
    }
}

void storeFullState(std::string_view frame, DeviceState& s, const Notes& notes = {}) {
    const Sections sec(frame);
    eachPairRecord(notes, 2, sec[2], 2, kInputsThenOutputs, [&](int i, Reader& r) {
        inputsThenOutputs(s, i, &InputChannel::level, &OutputChannel::level) = r.pair();
    });
    eachRecord(notes, 3, sec[3], 1, kInputsThenOutputs, [&](int i, Reader& r) {
        inputsThenOutputs(s, i, &InputChannel::mute, &OutputChannel::mute) = r.digit();
    });
    auto in = [&](int i) -> InputChannel& { return s.input[static_cast<std::size_t>(i)]; };
    auto out = [&](int i) -> OutputChannel& { return s.output[static_cast<std::size_t>(i)]; };

    eachRecord(notes, 4, sec[4], 1, kInputStrips,
               [&](int i, Reader& r) { in(i).dynamics.compEnabled = r.digit(); });
    eachPairRecord(notes, 5, sec[5], 10, kInputStrips, [&](int i, Reader& r) {
        Dynamics& d = in(i).dynamics;
        d.compRatio = r.pair();
        d.compThreshold = r.pair();
        d.compAttack = r.pair();
        d.compRelease = r.pair();
        d.compGain = r.pair();
    });
    eachRecord(notes, 6, sec[6], 1, kOutputRecords, [&](int i, Reader& r) { out(i).limiter[0] = r.digit(); });
    eachPairRecord(notes, 7, sec[7], 10, kOutputRecords, [&](int i, Reader& r) {
        // The device sends the ratio (l6) first, then l2..l5.
        auto& l = out(i).limiter;
        l[5] = r.pair();
        for (int k = 1; k <= 4; ++k)
            l[static_cast<std::size_t>(k)] = r.pair();
    });
    eachRecord(notes, 8, sec[8], 1, kInputStrips, [&](int i, Reader& r) { in(i).lpfOn = r.digit(); });
    eachPairRecord(notes, 9, sec[9], 6, kInputStrips, [&](int i, Reader& r) {
        in(i).lpfFreq = r.word();
        in(i).lpfSlope = r.pair();
    });
    eachRecord(notes, 10, sec[10], 1, kInputStrips, [&](int i, Reader& r) { in(i).hpfOn = r.digit(); });
    eachPairRecord(notes, 11, sec[11], 6, kInputStrips, [&](int i, Reader& r) {
        in(i).hpfFreq = r.word();
        in(i).hpfSlope = r.pair();
    });
    eachRecord(notes, 12, sec[12], 1, kAnalogInputs, [&](int i, Reader& r) { in(i).peqOn = r.digit(); });
    eachPairRecord(notes, 13, sec[13], kPeqBands * 10, kAllInputs, [&](int i, Reader& r) {
        for (int b = 0; b < kPeqBands; ++b) {
            PeqBand& band = in(i).peq[static_cast<std::size_t>(b)];
            // The wire counts types from 1 and halves the gain, as command G does.
            band.bandType = r.pair() - 1;
            band.bandFreq = r.word();
            band.bandGain = r.pair() * 2;
            band.bandQ = r.pair();
        }
    });
    eachRecord(notes, 14, sec[14], 1, kOutputRecords, [&](int i, Reader& r) { out(i).geqOn = r.digit(); });
    eachPairRecord(notes, 15, sec[15], 2 * kGeqBands, kOutputRecords, [&](int i, Reader& r) {
        for (auto& slot : out(i).geq)
            slot.gain = r.pair() * 2;
    });
    eachRecord(notes, 16, sec[16], 8, kAllInputs, [&](int i, Reader& r) {
        for (auto& flag : in(i).routeToOutput)
            flag = r.digit();
    });
    eachRecord(notes, 17, sec[17], 1, kOutputRecords,
               [&](int i, Reader& r) { out(i).lineLevel = r.digit(); });
    eachRecord(notes, 18, sec[18], 1, kAllInputs, [&](int i, Reader& r) { in(i).danteSource = r.digit(); });
    // Section 19 carries nothing the application keeps.
    eachPairRecord(notes, 20, sec[20], 2, kOutputRecords,
                   [&](int i, Reader& r) { out(i).outSwitchJ = r.pair(); });
    eachRecord(notes, 21, sec[21], 1, kOutputRecords,
               [&](int i, Reader& r) { out(i).outSwitchK = r.digit(); });
    eachPairRecord(notes, 22, sec[22], 4, kAllInputs, [&](int i, Reader& r) {
        in(i).automixThreshold = r.pair();
        in(i).priority = r.pair();
    });
    {
        AutomixSettings& a = s.automix;
        std::int32_t* order[] = {&a.manualMode, &a.maxOpenChannels,          &a.lastHold,
                                 &a.holdTime,   &a.closedChannelAttenuation, &a.nomAttenuation};
        eachPairRecord(notes, 23, sec[23], 2, 6, [&](int i, Reader& r) { *order[i] = r.pair(); });
    }
    eachPairRecord(notes, 24, sec[24], 2, 1, [&](int, Reader& r) { setPhantomMask(s, r.pair()); });
    eachPairRecord(notes, 25, sec[25], 2, kAllInputs, [&](int i, Reader& r) { in(i).gainStep = r.pair(); });
    {
        AutomixSettings& a = s.automix;
        std::int32_t* order[] = {&a.zeroCrossingRate, &a.energy, &a.compareCount, &a.thresholdCompensation};
        eachPairRecord(notes, 26, sec[26], 2, 4, [&](int i, Reader& r) { *order[i] = r.pair(); });
    }
    if (!sec[27].empty()) setName(s.deviceText, sec[27].substr(0, kNameBytes));
    if (sec[27].size() > static_cast<std::size_t>(kNameBytes)) notes.add(DropReason::WrongLength, 27);
    storeEffects(sec, s, notes);
    extraSections(notes, sec, 31);
}

void storeNames(std::string_view frame, DeviceState& s, const Notes& notes = {}) {
    const Sections sec(frame);
    int units = 0;
    eachPairRecord(notes, 2, sec[2], kUnitRecordChars, kUnits, [&](int u, Reader& r) {
        for (auto& slot : s.units[static_cast<std::size_t>(u)]) {
            const int v = r.pair();
            // The device marks an empty slot with 0xFF; the application keeps it as 0.
            slot = static_cast<std::uint8_t>(v == 0xFF ? 0 : v);
        }
        units = u + 1;
    });
    s.unitCount = units;
    eachPairRecord(notes, 3, sec[3], kNameChars, kInputsThenOutputs, [&](int i, Reader& r) {
        std::array<char16_t, 8> buf{};
        std::size_t n = 0;
        bool ended = false;
        for (int k = 0; k < 8; ++k) {
            const auto unit = static_cast<char16_t>(r.word());
            if (unit == 0) ended = true;
            if (!ended) buf[n++] = unit;
        }
        NameField& name = i < kAnalogInputs ? s.input[static_cast<std::size_t>(i)].name
                                            : s.output[static_cast<std::size_t>(i - kAnalogInputs)].name;
        setName(name, utf16ToGbk(std::u16string_view(buf.data(), n)));
    });
    extraSections(notes, sec, 4);
}

void storeStatus(std::string_view frame, DeviceState& s, const Notes& notes = {}) {
    // Values sit at fixed places from character 5; a short report gives only those it holds,
    // and nothing is read from the checksum digits.
    const std::size_t end = frame.size() - 5;
    // 22 values of two digits and the closing comma; a device with effect meters sends 26.
    if (end != 5 + 2 * std::size_t{kStatusValues} + 1 &&
        end != 5 + 2 * std::size_t{kStatusValuesWithEffects} + 1)
        notes.add(DropReason::WrongLength, 2);
    auto value = [&](int j, int& v) {
        const std::size_t at = 5 + 2 * static_cast<std::size_t>(j);
        if (at + 2 > end) return false;
        v = hex2(frame[at], frame[at + 1]);
        return true;
    };
    if (notes.result)
        notes.result->statusValues = static_cast<std::uint8_t>(
            end > 5 ? std::min<std::size_t>(std::size_t{kStatusValuesWithEffects}, (end - 5) / 2) : 0);
    int v = 0;
    for (int j = 0; j < 12 && value(j, v); ++j)
        s.input[static_cast<std::size_t>(j)].meter = v;
    for (int j = 12; j < 20 && value(j, v); ++j)
        s.output[static_cast<std::size_t>(j - 12)].meter = v;
    if (value(20, v))
        for (int k = 0; k < 8; ++k)
            s.input[static_cast<std::size_t>(k)].channelOpen = (v >> k) & 1;
    if (value(21, v)) {
        for (int c = 1; c <= 8; ++c)
            s.in(c).lastOpen = 0;
        if (s.automix.lastHold == 1 && v >= 1 && v <= 8) s.in(v).lastOpen = 1;
    }
    for (int j = kStatusValues; j < kStatusValuesWithEffects && value(j, v); ++j)
        s.effectMeters[static_cast<std::size_t>(j - kStatusValues)] = v;
}

void storeLevels(std::string_view frame, DeviceState& s, const Notes& notes = {}) {
    const Sections sec(frame);
    auto out = [&](int i) -> OutputChannel& { return s.output[static_cast<std::size_t>(i)]; };
    std::array<std::uint8_t, 4> stored{};
    auto count = [&](int section, int i) {
        stored[static_cast<std::size_t>(section - 2)] = static_cast<std::uint8_t>(i + 1);
    };
    eachPairRecord(notes, 2, sec[2], 2, kOutputRecords, [&](int i, Reader& r) {
        out(i).level = r.pair();
        count(2, i);
    });
    eachPairRecord(notes, 3, sec[3], 2, kOutputRecords, [&](int i, Reader& r) {
        out(i).mute = r.pair();
        count(3, i);
    });
    eachPairRecord(notes, 4, sec[4], 2, kOutputRecords, [&](int i, Reader& r) {
        out(i).lineLevel = r.pair();
        count(4, i);
    });
    eachPairRecord(notes, 5, sec[5], 2, kAnalogInputs, [&](int i, Reader& r) {
        s.input[static_cast<std::size_t>(i)].level = r.pair();
        count(5, i);
    });
    const std::string_view number = sec[6];
    if (notes.result) {
        notes.result->levelRecords = stored;
        notes.result->reportNumberStored = !number.empty();
    }
    if (!number.empty()) {
        // Decimal, read like the C library would but saturating instead of overflowing.
        std::size_t p = 0;
        const bool negative = number[0] == '-';
        if (negative || number[0] == '+') p = 1;
        std::int64_t v = 0;
        for (; p < number.size() && number[p] >= '0' && number[p] <= '9'; ++p) {
            v = v * 10 + (number[p] - '0');
            if (v > static_cast<std::int64_t>(INT32_MAX) + 1) v = static_cast<std::int64_t>(INT32_MAX) + 1;
        }
        if (negative) v = -v;
        if (v > INT32_MAX) v = INT32_MAX;
        s.reportNumber = static_cast<std::int32_t>(v);
    }
    extraSections(notes, sec, 7);
}

std::uint8_t openMask(const DeviceState& s) {
    unsigned mask = 0;
    for (int k = 0; k < 8; ++k)
        if (s.input[static_cast<std::size_t>(k)].channelOpen) mask |= 1u << k;
    return static_cast<std::uint8_t>(mask);
}

} // namespace

const char* dropReasonText(DropReason why) {
    switch (why) {
    case DropReason::TooShort:
        return "too short";
    case DropReason::BadChecksum:
        return "bad checksum";
    case DropReason::NoEnd:
        return "no end mark";
    case DropReason::NoStart:
        return "no start mark";
    case DropReason::WrongSender:
        return "wrong sender";
    case DropReason::UnusedLetter:
        return "unused letter";
    case DropReason::WrongLength:
        return "wrong length";
    case DropReason::SectionOutOfRange:
        return "section out of range";
    }
    return "unknown";
}

bool parseFullStateReport(std::string_view frame, DeviceState& s) {
    if (!wellFormed(frame)) return false;
    storeFullState(frame, s);
    normaliseAfterFullState(s);
    return true;
}

bool parseNamesReport(std::string_view frame, DeviceState& s) {
    if (!wellFormed(frame)) return false;
    storeNames(frame, s);
    return true;
}

bool parseStatusReport(std::string_view frame, DeviceState& s) {
    if (!wellFormed(frame)) return false;
    storeStatus(frame, s);
    return true;
}

bool parseLevelsReport(std::string_view frame, DeviceState& s) {
    if (!wellFormed(frame)) return false;
    storeLevels(frame, s);
    return true;
}

DispatchResult ReportDispatcher::dispatch(std::string_view frame, Clock::time_point now) {
    return run(frame, now, true);
}

DispatchResult ReportDispatcher::dispatchAccepted(std::string_view frame, Clock::time_point now) {
    return run(frame, now, false);
}

DispatchResult ReportDispatcher::run(std::string_view frame, Clock::time_point now, bool verify) {
    DispatchResult r;
    if (frame.size() < 2) {
        r.addDrop(DropReason::TooShort, 0);
        return r;
    }
    r.letter = frame[1];
    switch (r.letter) {
    case 'Z':
    case 'Y':
    case 'Q':
    case 'P':
    case 'z':
        break;
    default:
        r.addDrop(DropReason::UnusedLetter, 0);
        return r; // G and letters the application does not use
    }
    if (!(verify ? wellFormed(frame) : outlined(frame))) {
        r.kind = ReportKind::Rejected;
        r.addDrop(frame.size() < kMinFrameLength ? DropReason::TooShort
                  : !outlined(frame)             ? DropReason::NoEnd
                                                 : DropReason::BadChecksum,
                  0);
        return r;
    }
    const Notes notes{&r};
    LinkState& link = state_.link;
    switch (r.letter) {
    case 'Z':
        storeFullState(frame, state_, notes);
        normaliseAfterFullState(state_);
        r.kind = ReportKind::FullState;
        link.handshakeDone = true;
        link.handshakePending = false;
        link.linkOnline = true;
        link.lastReportTime = now;
        r.wentOnline = true;
        return r;
    case 'Y':
        storeNames(frame, state_, notes);
        r.kind = ReportKind::Names;
        link.lastReportTime = now;
        r.sendResumeReports = true;
        return r;
    case 'Q': {
        const std::uint8_t before = openMask(state_);
        storeStatus(frame, state_, notes);
        r.kind = ReportKind::Status;
        link.lastReportTime = now;
        if (!reportIndicator_) {
            reportIndicator_ = true;
            r.reportIndicatorOn = true;
        }
        r.channelOpenChanged = static_cast<std::uint8_t>(before ^ openMask(state_));
        return r;
    }
    case 'z': {
        // The hardware version follows the handshake's reports: "%z,01,<digits>,".
        const std::string_view rest = frame.substr(std::min<std::size_t>(frame.size(), 6));
        const std::string_view digits = rest.substr(0, rest.find(','));
        const bool number = frame.substr(0, 6) == "%z,01," && !digits.empty() && digits.size() <= 9 &&
                            digits.find_first_not_of("0123456789") == std::string_view::npos;
        if (number)
            state_.hardwareVersion.assign(digits);
        else
            r.addDrop(DropReason::WrongLength, 2);
        return r;
    }
    default: // 'P'
        storeLevels(frame, state_, notes);
        r.kind = ReportKind::Levels;
        link.lastReportTime = now;
        r.moveFaders = link.linkOnline;
        return r;
    }
}

} // namespace quorvel
