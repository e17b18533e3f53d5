#include "admin/factory_reset.h"

#include <utility>

namespace quorvel {

ChangeSet applyFactoryReset(DeviceState& s, int languageFlag) {
    LinkState link = std::move(s.link);
    const std::int32_t unitCount = s.unitCount;
    const std::int32_t spanTime = s.spanTime;
    const std::int32_t reportNumber = s.reportNumber;
    s = DeviceState{};
    loadFactoryDefaults(s, languageFlag);
    for (auto& unit : s.units)
        unit.fill(0);
    s.link = std::move(link);
    s.unitCount = unitCount;
    s.spanTime = spanTime;
    s.reportNumber = reportNumber;
    return ChangeSet::everything();
}

} // namespace quorvel
