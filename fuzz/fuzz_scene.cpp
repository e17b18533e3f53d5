// Arbitrary bytes as a scene image. Most inputs are not a scene's size, so besides the raw bytes
// (which must be refused unless they are exactly one) the input is also laid over a factory image
// at an offset taken from its first two bytes. Whatever loads must come out of a second save and
// load unchanged: a value the registry clamps is clamped once, never drifts. A scene of the right
// size is refused only for its unit table (a value above 16 or one assigned twice), and a
// refused image leaves the state exactly as it was.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "admin/scene.h"
#include "link/field_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using namespace quorvel;

const DeviceState& factory() {
    static const DeviceState s = [] {
        DeviceState f;
        loadFactoryDefaults(f, 1);
        return f;
    }();
    return s;
}

void loadAndCheck(const std::vector<std::uint8_t>& image) {
    static DeviceState state;
    state = factory();
    std::string error;
    if (!loadScene(state, image, error)) {
        if (error.empty()) __builtin_trap();
        if (image.size() == kSceneBytes && error.find("units[") == std::string::npos &&
            error.find("assigned twice") == std::string::npos)
            __builtin_trap();
        static const std::vector<std::uint8_t> untouched = serialiseScene(factory());
        if (serialiseScene(state) != untouched) __builtin_trap();
        return;
    }
    if (image.size() != kSceneBytes) __builtin_trap();
    const std::vector<std::uint8_t> once = serialiseScene(state);
    static DeviceState again;
    again = factory();
    if (!loadScene(again, once, error)) __builtin_trap();
    if (serialiseScene(again) != once) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::uint8_t> base = serialiseScene(factory());
    loadAndCheck(std::vector<std::uint8_t>(data, data + size));
    if (size < 2 || size - 2 > kSceneBytes) return 0;
    std::vector<std::uint8_t> image = base;
    const std::size_t offset = (static_cast<std::size_t>(data[0]) | static_cast<std::size_t>(data[1]) << 8) *
                               4 % (kSceneBytes - (size - 2) + 1);
    std::memcpy(image.data() + offset, data + 2, size - 2);
    loadAndCheck(image);
    return 0;
}
