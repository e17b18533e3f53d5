// One table names every field of DeviceState by path (`input[3].peq[2].bandGain`, `units[2][5]`,
// indices 1-based as on the wire), with its width, raw range, scene-file offset and the command
// that carries it. The CLI, the typed value entry, the scene files and the tests all go through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_state.h"

namespace quorvel {

enum class FieldKind { Int32, Byte, Name };

// The command that carries a field to the device; letter 0 when none does.
struct Carrier {
    char letter = 0;
    int selector = 0;  // channel, output, unit; 0 for M and N
    int selector2 = 0; // band for G
};

// The selectors the carrier's command is built with: none for M and N, channel and band for G,
// otherwise the one selector.
std::vector<int> carrierSelectors(const Carrier& c);

struct FieldInfo {
    std::string path;
    FieldKind kind;
    std::int32_t min;
    std::int32_t max;
    std::size_t stateOffset; // byte offset inside DeviceState
    std::size_t sceneOffset; // byte offset inside the scene image
    Carrier carrier;
};

inline constexpr std::size_t kSceneParamBytes = 19336;
inline constexpr std::size_t kSceneMuteGroupBytes = 128;
inline constexpr std::size_t kSceneControlGroupBytes = 180;
inline constexpr std::size_t kSceneBytes =
    kSceneParamBytes + kMuteGroups * kSceneMuteGroupBytes + kControlGroups * kSceneControlGroupBytes;
static_assert(kSceneBytes == 20568);

class FieldRegistry {
public:
    static const FieldRegistry& instance();

    const std::vector<FieldInfo>& fields() const { return fields_; }
    const FieldInfo* find(std::string_view path) const;

    static std::int32_t get(const DeviceState& s, const FieldInfo& f);
    static void set(DeviceState& s, const FieldInfo& f, std::int32_t v);       // no range check
    static std::string_view getName(const DeviceState& s, const FieldInfo& f); // GBK bytes
    static void setNameBytes(DeviceState& s, const FieldInfo& f, std::string_view gbk);

private:
    FieldRegistry();
    std::vector<FieldInfo> fields_;
    std::vector<std::size_t> sortedIndex_; // by path, for lookup
};

// Parses "PATH=VALUE" against the registry and stores it. Integers must lie in the field's raw
// range; names are UTF-8 and must fit 16 GBK bytes. On failure returns false and sets error.
bool assignField(DeviceState& s, std::string_view assignment, std::string& error,
                 const FieldInfo** assigned = nullptr);

} // namespace quorvel
