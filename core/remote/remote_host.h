// What a remote surface (the JSON-RPC API, OSC) needs from the owner of DeviceState: the
// application's window or quorvelctl serve. Every call is made on the owner thread; a surface's
// own I/O thread hands its requests over with post().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "link/change_set.h"
#include "link/device_state.h"
#include "link/edit.h"

namespace quorvel::remote {

struct LinkStatus {
    bool online = false;
    std::string deviceAddress;
    int reportRateHz = 0; // status reports a second the device sends while online
    int pendingEdits = 0; // edits made offline, not yet on the device
};

class RemoteHost {
public:
    virtual ~RemoteHost() = default;

    virtual const DeviceState& state() const = 0;
    // Through the one edit operation, exactly as a page's edit: clamped, stored, group copies,
    // frames only while online, and every view told. The origin is a remote client's.
    virtual EditOutcome edit(FieldId field, std::int32_t raw) = 0;
    virtual EditOutcome editName(FieldId field, std::string_view gbk) = 0;
    // A preset (kind as the preset store names it, e.g. "PEQ", on channel `channel`) or a scene
    // (kind "scene", name the scene's); false with a reason when there is no such thing.
    virtual bool recall(std::string_view kind, std::string_view name, int channel, std::string& error) = 0;
    virtual void connect() = 0;
    virtual void disconnect() = 0;
    virtual LinkStatus status() const = 0;

    // Runs fn on the owner thread, soon; callable from any thread.
    virtual void post(std::function<void()> fn) = 0;
};

// What the owner tells each surface, on the owner thread: the fields that changed (edits from any
// origin and reports alike) and that a status report brought new meters.
class RemoteListener {
public:
    virtual ~RemoteListener() = default;
    virtual void fieldsChanged(const ChangeSet& changes) = 0;
    virtual void metersUpdated() = 0;
};

} // namespace quorvel::remote
