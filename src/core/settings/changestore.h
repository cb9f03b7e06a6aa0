#pragma once
#include <functional>

#include "bytes.h"

namespace tornavel {

class DeviceTable;
struct Session;

// Puts a setting's read-back into the connected record, in the slot of its
// command; a command without a slot stores nothing.
void store2plist(DeviceTable& table, const Bytes& command, const Bytes& answer);

// What shows a completed change: the setting's command and the unit's
// read-back, filtered, already in the record.
using ShowChange = std::function<void(const Bytes& command, const Bytes& readBack)>;

// The requester's side of a performed change (WM_USER+9 in the window):
// store the UPS's read-back, have `show` show it, and only then release the
// request so the next one is accepted.
void CompleteChange(Session& session, const ShowChange& show = {});

}  // namespace tornavel
