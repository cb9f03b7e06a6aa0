#include "changepresenter.h"

#include <array>
#include <utility>

#include "protocol/commands.h"
#include "statusdisplay.h"
#include "text/cp1251.h"

using namespace tornavel;

std::string_view SettingField(const Bytes& command)
{
    static const std::array<std::pair<const Bytes*, std::string_view>, 11> kFields = {{
        {&cmd::kAlarmDelay, "EditZS"},
        {&cmd::kSelfTestInterval, "EditIS"},
        {&cmd::kSensitivity, "EditCH"},
        {&cmd::kOutputSetting, "EditUO"},
        {&cmd::kLowTransfer, "EditMI"},
        {&cmd::kHighTransfer, "EditMA"},
        {&cmd::kName, "EditNA"},
        {&cmd::kSerial, "EditSN"},
        {&cmd::kMadeDate, "EditDA"},
        {&cmd::kBatteryDate, "EditDZ"},
        {&cmd::kRegister0, "EditR0"},
    }};
    for (const auto& [setting, field] : kFields)
        if (*setting == command) return field;
    return {};
}

void ShowChangeDone(Screen& screen, const DeviceTable& table, const Bytes& command, const Bytes& readBack)
{
    if (const std::string_view field = SettingField(command); !field.empty())
        screen.SetText(field, Cp1251ToUtf8(readBack));
    UpdateScreen(screen, table.Record(table.apcIndex()));
    // Filling the edit box above may have shown them before the record matched.
    screen.SetVisible("ImageFLOP", false);
    screen.SetVisible("ImageGF", false);
}
