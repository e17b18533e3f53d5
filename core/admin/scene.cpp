#include "admin/scene.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>

#include <algorithm>
#include <fcntl.h>

#include "admin/unit_table.h"
#include "link/field_registry.h"

namespace quorvel {
namespace {

void putLe32(std::uint8_t* p, std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::int32_t getLe32(const std::uint8_t* p) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return static_cast<std::int32_t>(u);
}

// Only the delay's words of record 17 (1..4) and the reverberation's of record 18 (6..11) carry
// anything; the rest hold zeros below those ranges and are kept as stored.
bool clampedOnLoad(const FieldInfo& f) {
    const auto at = f.path.find(".effectParams[");
    if (f.record != RecordKind::Input || at == std::string::npos) return true;
    const int word = std::atoi(f.path.c_str() + at + 14);
    return (f.recordIndex == 17 && word <= 4) || (f.recordIndex == 18 && word >= 6);
}

} // namespace

std::vector<std::uint8_t> serialiseScene(const DeviceState& s) {
    std::vector<std::uint8_t> image(kSceneBytes, 0);
    for (const FieldInfo& f : FieldRegistry::instance().fields()) {
        std::uint8_t* p = image.data() + f.sceneOffset;
        switch (f.kind) {
        case FieldKind::Int32:
            putLe32(p, FieldRegistry::get(s, f));
            break;
        case FieldKind::Byte:
            *p = static_cast<std::uint8_t>(FieldRegistry::get(s, f));
            break;
        case FieldKind::Name: {
            std::string_view n = FieldRegistry::getName(s, f);
            std::memcpy(p, n.data(), n.size());
            break;
        }
        }
    }
    return image;
}

bool loadScene(DeviceState& s, const std::vector<std::uint8_t>& image, std::string& error) {
    if (image.size() != kSceneBytes) {
        error = "scene image is " + std::to_string(image.size()) + " bytes; a scene is exactly " +
                std::to_string(kSceneBytes) + " bytes";
        return false;
    }
    DeviceState loaded = s; // meters and link state are kept
    for (const FieldInfo& f : FieldRegistry::instance().fields()) {
        if (!f.restoredByScene) continue;
        const std::uint8_t* p = image.data() + f.sceneOffset;
        switch (f.kind) {
        // A file is outside data: a value out of range would widen the hex fields it is sent in.
        case FieldKind::Int32:
            FieldRegistry::set(loaded, f,
                               clampedOnLoad(f) ? std::clamp(getLe32(p), f.min, f.max) : getLe32(p));
            break;
        case FieldKind::Byte:
            // Unit slots: a value beyond the selector's items names nothing to clamp to.
            if (*p < f.min || *p > f.max) {
                error = "scene image: " + f.path + " holds " + std::to_string(*p) + ", outside " +
                        std::to_string(f.min) + ".." + std::to_string(f.max);
                return false;
            }
            FieldRegistry::set(loaded, f, *p);
            break;
        case FieldKind::Name:
            FieldRegistry::setNameBytes(loaded, f,
                                        std::string_view(reinterpret_cast<const char*>(p), kNameBytes));
            break;
        }
    }
    // A unit value assigned twice cannot be clamped into anything meant; the file is damaged.
    std::string why;
    if (!unitsValid(loaded, &why)) {
        error = "scene image: " + why;
        return false;
    }
    s = std::move(loaded);
    return true;
}

bool writeSceneFile(const DeviceState& s, const std::filesystem::path& file, std::string& error) {
    const auto image = serialiseScene(s);
    std::filesystem::path tmp = file;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot create " + tmp.string();
            return false;
        }
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        out.flush();
        if (out) {
            // On disk before the rename, so a crash leaves the old file or the whole new one.
            const int fd = ::open(tmp.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0 || ::fsync(fd) != 0) out.setstate(std::ios::failbit);
            if (fd >= 0) ::close(fd);
        }
        if (!out) {
            error = "cannot write " + tmp.string();
            std::filesystem::remove(tmp);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, file, ec);
    if (ec) {
        error = "cannot replace " + file.string() + ": " + ec.message();
        std::filesystem::remove(tmp, ec);
        return false;
    }
    return true;
}

bool readSceneFile(DeviceState& s, const std::filesystem::path& file, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot open " + file.string();
        return false;
    }
    std::vector<std::uint8_t> image(kSceneBytes + 1);
    in.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    image.resize(static_cast<size_t>(in.gcount()));
    if (image.size() > kSceneBytes) {
        error = file.string() + " is larger than a scene (" + std::to_string(kSceneBytes) + " bytes)";
        return false;
    }
    return loadScene(s, image, error);
}

} // namespace quorvel
