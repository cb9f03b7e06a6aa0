#pragma once
#include <string_view>

#include "bytes.h"
#include "protocol/devicetable.h"
#include "shared/screen.h"

// The parameter page's edit box that shows a setting's read-back, by the
// setting's command; empty for a command the page does not change.
std::string_view SettingField(const tornavel::Bytes& command);

// Shows a completed change: the read-back (Windows-1251) in its setting's
// edit box, the monitor page refreshed from the record, and the page's
// "not saved" and "saved" marks gone.
void ShowChangeDone(tornavel::Screen& screen, const tornavel::DeviceTable& table, const tornavel::Bytes& command,
                    const tornavel::Bytes& readBack);
