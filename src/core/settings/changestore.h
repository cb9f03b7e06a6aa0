#pragma once
#include "bytes.h"

namespace tornavel {

class DeviceTable;
struct Session;

// Puts a setting's read-back into the connected record, in the slot of its
// command; a command without a slot stores nothing.
void store2plist(DeviceTable& table, const Bytes& command, const Bytes& answer);

// The window's side of a performed change (WM_USER+9): show and store the
// UPS's read-back, refresh the monitor page, and only then release the
// request so the page accepts the next one.
void CompleteChange(Session& session);

}  // namespace tornavel
