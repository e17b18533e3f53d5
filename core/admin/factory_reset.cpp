#include "admin/factory_reset.h"

#include <utility>

namespace quorvel {

ChangeSet applyFactoryReset(DeviceState& s, int languageFlag) {
    LinkState link = std::move(s.link);
    const std::int32_t unitCount = s.unitCount;
    const std::int32_t spanTime = s.spanTime;
    const std::int32_t reportNumber = s.reportNumber;
    // What the device said of its firmware is no setting, and the flag is the reset's own guard.
    std::string hardwareVersion = std::move(s.hardwareVersion), basicVersion = std::move(s.basicVersion);
    const bool updateBusy = s.updateBusy;
    s = DeviceState{};
    loadFactoryDefaults(s, languageFlag);
    for (auto& unit : s.units)
        unit.fill(0);
    s.link = std::move(link);
    s.unitCount = unitCount;
    s.spanTime = spanTime;
    s.reportNumber = reportNumber;
    s.hardwareVersion = std::move(hardwareVersion);
    s.basicVersion = std::move(basicVersion);
    s.updateBusy = updateBusy;
    return ChangeSet::everything();
}

} // namespace quorvel
