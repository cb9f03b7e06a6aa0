#include "protocol/devicetable.h"

#include "protocol/commands.h"

namespace tornavel {

namespace {
const std::array<Bytes, kSlotCount + 1>& CommandBySlot()
{
    static const std::array<Bytes, kSlotCount + 1> table = {
        Bytes(),
        cmd::kModel,
        cmd::kName,
        cmd::kSerial,
        cmd::kMadeDate,
        cmd::kStatus,
        cmd::kLoad,
        cmd::kBatteryCount,
        cmd::kBatteryDate,
        cmd::kBatteryVolts,
        cmd::kNominalVolts,
        cmd::kTemperature,
        cmd::kRuntime,
        cmd::kCharge,
        cmd::kAlarmDelay,
        cmd::kSelfTestInterval,
        cmd::kSensitivity,
        cmd::kOutputSetting,
        cmd::kLowTransfer,
        cmd::kHighTransfer,
        cmd::kMinLine,
        cmd::kMaxLine,
        cmd::kInputVolts,
        cmd::kOutputVolts,
        cmd::kFrequency,
        cmd::kLineQuality,
        cmd::kSeven,
        cmd::kRegister0,
        cmd::kRegister1,
        cmd::kRegister2,
        cmd::kRegister3,
        Bytes(),  // slot 31: the last message, no command
        cmd::kGraceDelay,
        cmd::kReturnCharge,
        cmd::kWakeupDelay,
        cmd::kLowBatteryWarning,
        cmd::kSelfTestResult,
        cmd::kTransferCause,
    };
    return table;
}
}  // namespace

const Bytes& SlotCommand(int slot)
{
    static const Bytes none;
    if (slot < 1 || slot > kSlotCount) return none;
    return CommandBySlot()[slot];
}

int SlotOfCommand(const Bytes& command)
{
    if (command.empty()) return 0;
    for (int k = 1; k <= kSlotCount; ++k)
        if (CommandBySlot()[k] == command) return k;
    return 0;
}

void DeviceTable::Clear()
{
    std::lock_guard lock(mutex_);
    apcList_.clear();
}

void DeviceTable::Add(int port)
{
    std::lock_guard lock(mutex_);
    apcList_.push_back(apcrec{port, {}});
}

int DeviceTable::Count() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(apcList_.size());
}

apcrec DeviceTable::Record(int index) const
{
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(apcList_.size())) return {};
    return apcList_[index];
}

bool DeviceTable::HasConnected() const
{
    const int index = apcIndex();
    std::lock_guard lock(mutex_);
    return index >= 0 && index < static_cast<int>(apcList_.size());
}

Bytes DeviceTable::Slot(int slot) const
{
    const int index = apcIndex();
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(apcList_.size()) || slot < 1 || slot > kSlotCount) return {};
    return apcList_[index].slot[slot];
}

void DeviceTable::SetSlot(int slot, const Bytes& text)
{
    SetSlotOf(apcIndex(), slot, text);
}

void DeviceTable::SetField(int slot, const FieldAnswer& field)
{
    Store(apcIndex(), slot, field.settled ? field.line : Bytes(), field.settled);
}

void DeviceTable::SetSlotOf(int index, int slot, const Bytes& text)
{
    Store(index, slot, text, !text.empty());
}

void DeviceTable::Store(int index, int slot, const Bytes& text, bool settled)
{
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(apcList_.size()) || slot < 1 || slot > kSlotCount) return;
    apcList_[index].slot[slot] = text;
    apcList_[index].settled[slot] = settled;
}

}  // namespace tornavel
