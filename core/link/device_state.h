// The application's one mirror of the mixer: every parameter the device knows, in the record
// layout the scene files and the wire commands assume, plus the link's own bookkeeping.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

inline constexpr int kInputRecords = 18; // channels 1..16, DELAY return, Reverberation return
inline constexpr int kAnalogInputs = 12; // the channels the device reports on
inline constexpr int kOutputRecords = 8; // four master, four Dante outputs
inline constexpr int kPeqSlots = 5;      // bands 1..4 in use, slot 5 only touched by hidden controls
inline constexpr int kPeqBands = 4;
inline constexpr int kGeqBands = 31;
inline constexpr int kUnits = 4; // conference microphone units
inline constexpr int kUnitSlots = 5;
inline constexpr int kNameBytes = 16; // GBK text, NUL-terminated when shorter
inline constexpr int kMuteGroups = 4;
inline constexpr int kMuteGroupWords = 32;
inline constexpr int kControlGroups = 4;
inline constexpr int kControlGroupWords = 45;
inline constexpr std::uint16_t kDevicePort = 39020;
inline constexpr const char* kDefaultHostAddress = "192.168.1.106";

// A 16-byte name field as the device and the scene files hold it: GBK bytes, NUL-padded.
using NameField = std::array<char, kNameBytes>;

std::string_view nameView(const NameField& f);         // bytes up to the first NUL
void setName(NameField& f, std::string_view gbkBytes); // cut at 16 bytes, rest zeroed

struct PeqBand {
    std::int32_t bandFreq; // Hz 20..20000
    std::int32_t bandGain; // 0..300, 150 = 0 dB, 0.1 dB steps
    std::int32_t bandQ;    // 1..200 = Q x 10
    std::int32_t reserved1;
    std::int32_t reserved2;
    std::int32_t bandType; // 0..2
};
static_assert(sizeof(PeqBand) == 24);

struct Dynamics { // the compressor, d1..d6
    std::int32_t compEnabled;
    std::int32_t compThreshold; // 0..60 = dB + 60
    std::int32_t compAttack;    // 1..250 ms
    std::int32_t compRelease;   // 20..250 ms
    std::int32_t compGain;      // 0..200 = dB x 10
    std::int32_t compRatio;     // 10..100 = ratio x 10
};

struct GateSettings {
    std::int32_t gateEnabled;
    std::int32_t gateThreshold; // 0..60 = dB + 60
    std::int32_t gateRange;
    std::int32_t gateAttack;  // 1..250 ms
    std::int32_t gateRelease; // 20..250 ms
};

struct InputChannel {
    std::array<PeqBand, kPeqSlots> peq;
    std::int32_t peqOn;
    std::int32_t hpfFreq;
    std::int32_t hpfType;
    std::int32_t hpfSlope;
    std::int32_t hpfOn;
    std::int32_t lpfFreq;
    std::int32_t lpfType;
    std::int32_t lpfSlope;
    std::int32_t lpfOn;
    std::int32_t mute;
    std::int32_t pan;   // 0..200, 100 = centre
    std::int32_t level; // 0..70 = dB + 60
    std::int32_t solo;
    std::int32_t meter; // last metered level, 0..255
    std::int32_t phantom;
    std::int32_t priority;
    std::int32_t danteSource;      // 0 none, 1..4
    std::int32_t gainStep;         // 0..3 (channels 1..8), 0..1 (9..12)
    std::int32_t automixThreshold; // 0..80 = dB + 80
    std::int32_t channelOpen;
    std::int32_t lastOpen;
    Dynamics dynamics;
    GateSettings gate;
    std::array<std::int32_t, 8> routeToOutput; // element k: output k + 1
    std::array<std::int32_t, 9> sendLevel;     // main, AUX 1..6, DELAY, Reverberation
    std::int32_t unused; // records 17, 18: effectInputMute (the effect's input MUTE, A 28 / A 30)
    std::array<std::int32_t, 11> effectParams; // records 17 and 18 only
    NameField name;
};
static_assert(sizeof(InputChannel) == 380, "input record layout is part of the scene file");

struct GeqSlot {
    std::int32_t gain; // 0..300, 150 = 0 dB
    std::array<std::int32_t, 5> reserved;
};
static_assert(sizeof(GeqSlot) == 24);

struct OutputChannel {
    std::array<GeqSlot, kGeqBands> geq;
    std::int32_t geqOn;
    std::int32_t mute;
    std::int32_t level; // 0..70 = dB + 60
    std::int32_t meter;
    std::int32_t outSwitchJ;             // delay in 0.5 ms steps, 0..199
    std::int32_t lineLevel;              // 0 MIC, 1 LINE
    std::int32_t outSwitchK;             // FBK
    std::array<std::int32_t, 6> limiter; // l1 switch, l2 threshold, l3 attack, l4 release, l5 gain, l6 ratio
    NameField name;
};
static_assert(sizeof(OutputChannel) == 812, "output record layout is part of the scene file");

struct AutomixSettings {
    std::int32_t manualMode;
    std::int32_t maxOpenChannels;          // 1..8
    std::int32_t holdTime;                 // 1..100 = x 50 ms
    std::int32_t closedChannelAttenuation; // 0..60 = dB + 60
    std::int32_t nomAttenuation;           // 20..30 = dB + 30
    std::int32_t lastHold;
    std::int32_t zeroCrossingRate;      // 0..100
    std::int32_t energy;                // 1..200
    std::int32_t compareCount;          // 1..100
    std::int32_t thresholdCompensation; // 0..40
    std::int32_t syncThresholds;        // page setting, never sent
};

using UnitAssignment = std::array<std::uint8_t, kUnitSlots>; // 0 NULL, 1..12 CH, 13..16 M
using MuteGroup = std::array<std::int32_t, kMuteGroupWords>;
using ControlGroup = std::array<std::int32_t, kControlGroupWords>;

// Control-group element indices (0-based, as in the record).
namespace cg {
inline constexpr int kFirstOutput = 18;
inline constexpr int kMemberCount = 26;
inline constexpr int kLinkVolume = 27;
inline constexpr int kLinkEq = 30;
inline constexpr int kLinkComp = 31;
inline constexpr int kLinkLimit = 32;
inline constexpr int kLinkGain = 34;
inline constexpr int kLinkPriority = 35;
inline constexpr int kLinkPhantom = 36;
inline constexpr int kLinkSource = 37;
inline constexpr int kLinkLine = 38;
inline constexpr int kLinkFbk = 39;
inline constexpr int kLinkDelay = 40;
} // namespace cg

using Clock = std::chrono::steady_clock;

struct LinkState {
    std::string hostAddress = kDefaultHostAddress;
    std::int32_t udpPort = kDevicePort;
    bool socketReady = false;
    bool linkOnline = false;
    bool handshakePending = false;
    std::int32_t handshakeAttempts = 0;
    bool handshakeDone = false;
    Clock::time_point lastAttemptTime{};
    Clock::time_point lastReportTime{};
};

struct DeviceState {
    std::array<InputChannel, kInputRecords> input{};
    std::array<OutputChannel, kOutputRecords> output{};
    AutomixSettings automix{};
    std::array<UnitAssignment, kUnits> units{};
    std::int32_t unitCount = 0;
    NameField deviceText{};
    std::int32_t reportNumber = 0;
    std::int32_t spanTime = 100;
    std::array<MuteGroup, kMuteGroups> muteGroups{};
    std::array<ControlGroup, kControlGroups> controlGroups{};
    // Status values 22..25: delay in, delay out, reverberation in, out (0..255, as `meter`).
    std::array<std::int32_t, 4> effectMeters{};
    LinkState link;
    // Firmware: what the device said to the version queries (decimal text, shown x 0.1 and
    // x 0.01), and whether an update or a factory reset is running.
    std::string hardwareVersion = "00";
    std::string basicVersion = "000";
    bool updateBusy = false;

    // 1-based accessors as the wire numbers them.
    InputChannel& in(int channel) { return input[static_cast<std::size_t>(channel - 1)]; }
    const InputChannel& in(int channel) const { return input[static_cast<std::size_t>(channel - 1)]; }
    OutputChannel& out(int n) { return output[static_cast<std::size_t>(n - 1)]; }
    const OutputChannel& out(int n) const { return output[static_cast<std::size_t>(n - 1)]; }
};

// The effect parameters' RESET values, in effectParams order: the delay in elements 0..3 (pre
// delay 1, pre delay 2, feedback, LPF), the reverberation in 5..10 (delay 1..4, reverberation
// time, LPF). 0 is outside every range, so a zero record is never a setting.
inline constexpr std::array<std::int32_t, 4> kDelayResetValues = {133, 232, 38, 20000};
inline constexpr std::array<std::int32_t, 6> kReverbResetValues = {61, 48, 47, 50, 3, 20000};
inline constexpr int kDelayRecord = 17;
inline constexpr int kReverbRecord = 18;
inline constexpr std::size_t kDelayFirst = 0;
inline constexpr std::size_t kReverbFirst = 5;
// A channel numbers of the effect MUTE buttons; A carries no value for them.
inline constexpr int kDelayMuteChannel = 27;       // record 17 mute
inline constexpr int kDelayInputMuteChannel = 28;  // record 17 effectInputMute
inline constexpr int kReverbMuteChannel = 29;      // record 18 mute
inline constexpr int kReverbInputMuteChannel = 30; // record 18 effectInputMute
void loadDelayReset(DeviceState& s);
void loadReverbReset(DeviceState& s);

// Factory values: what a reset device holds and what the application starts with.
// languageFlag picks the default channel names (1 "CH 1", 2 the Chinese form).
void loadFactoryDefaults(DeviceState& s, int languageFlag = 1);

// Clamp what a full-state report may have left out of range, and force the values the
// device always runs with.
void normaliseAfterFullState(DeviceState& s);

// Phantom mask carried by command O and section 24: bit k-1 = phantom of channel k, k = 1..8.
int phantomMask(const DeviceState& s);
void setPhantomMask(DeviceState& s, int mask);

} // namespace quorvel
