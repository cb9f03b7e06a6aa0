#pragma once
#include <optional>
#include <string>

namespace tornavel::service {

// The monitor's decision to shut the host down, as a small file in its state
// directory. A root-owned systemd path unit watches for it and powers the
// host off: the monitor itself holds no privilege to do so. The boot id tells
// a decision of this boot from one left over by an earlier boot.
struct ShutdownRecord {
    std::string bootId;
    std::string port;    // the unit's port label
    std::string device;  // its device, for the unit's power-off at the end; empty for a follower
    std::string serial;  // the unit's serial number there, checked before that power-off
    std::string reason;
    std::string time;
};

// The kernel's id of the present boot; empty if it cannot be read.
std::string CurrentBootId(const std::string& path);

// Written whole or not at all: a temporary file, synced, renamed into place.
bool WriteShutdownRecord(const std::string& path, const ShutdownRecord& record, std::string& error);
std::optional<ShutdownRecord> ReadShutdownRecord(const std::string& path);

}  // namespace tornavel::service
