#pragma once
#include <array>
#include <atomic>
#include <bitset>
#include <mutex>
#include <vector>

#include "bytes.h"

namespace tornavel {

// Answer slots of a unit's record; slot k holds the first line of the answer
// to its command, after the alert filter.
enum Slot : int {
    kSlotModel = 1,
    kSlotName,
    kSlotSerial,
    kSlotMadeDate,
    kSlotStatus,
    kSlotLoad,
    kSlotBatteryCount,
    kSlotBatteryDate,
    kSlotBatteryVolts,
    kSlotNominalVolts,
    kSlotTemperature,
    kSlotRuntime,
    kSlotCharge,
    kSlotAlarmDelay,
    kSlotSelfTestInterval,
    kSlotSensitivity,
    kSlotOutputSetting,
    kSlotLowTransfer,
    kSlotHighTransfer,
    kSlotMinLine,
    kSlotMaxLine,
    kSlotInputVolts,
    kSlotOutputVolts,
    kSlotFrequency,
    kSlotLineQuality,
    kSlotSeven,
    kSlotRegister0,
    kSlotRegister1,
    kSlotRegister2,
    kSlotRegister3,
    kSlotLastMessage,
    // Read after the full read by the monitor and tornavelctl (ReadPowerReturn),
    // never by the window: how power comes back, and two readings.
    kSlotGraceDelay,
    kSlotReturnCharge,
    kSlotWakeupDelay,
    kSlotLowBatteryWarning,
    kSlotSelfTestResult,
    kSlotTransferCause,
};
inline constexpr int kSlotCount = 37;
inline constexpr int kReadSlotCount = 30;                      // slots 1..30 have a command in the full read
inline constexpr int kFirstPowerReturnSlot = kSlotGraceDelay;  // 32..37 have one after it

// The command whose answer slot k holds (1..30, 32..37); empty for others.
const Bytes& SlotCommand(int slot);
// The slot that holds the answer to a command; 0 when it has none.
int SlotOfCommand(const Bytes& command);

// Scan marks in slot 1.
inline const Bytes kMarkNothing = "-";
inline const Bytes kMarkModem = "modem";

// One field of a read as an exchange brought it: the answer's first line
// (empty when none came in time) and whether it is sure to be its own
// command's answer (see AnswerOrder).
struct FieldAnswer {
    Bytes line;
    bool settled = false;
};

// One unit: its port number and its answer slots (index 1..31).
struct apcrec {
    int port = 0;
    std::array<Bytes, kSlotCount + 1> slot{};
    // Whether slot k holds its own command's answer. An answer that came
    // right after an exchange that got none may be that command's late
    // answer: it is withheld, so the slot stays empty and unsettled, and
    // nothing that shows, publishes, serves or decides can take it.
    std::bitset<kSlotCount + 1> settled{};
};

// The units found by the last scan (apcList) and the connected one (apcIndex).
// The polling thread writes slots of the connected record while the window
// reads them, so every slot is handed over whole under a short lock.
class DeviceTable {
public:
    void Clear();
    void Add(int port);
    int Count() const;
    apcrec Record(int index) const;  // a copy; empty record when out of range

    int apcIndex() const { return apcIndex_.load(); }
    void SetApcIndex(int index) { apcIndex_.store(index); }
    bool HasConnected() const;

    // Slots of the connected record; reading outside the table gives the
    // empty text, writing outside it does nothing.
    Bytes Slot(int slot) const;
    // A text taken in its own exchange (a read-back, a scan): settled when not empty.
    void SetSlot(int slot, const Bytes& text);
    // A field of the full read or of a monitoring cycle: kept only when settled.
    void SetField(int slot, const FieldAnswer& field);
    // Slots of any record (the scan fills every unit's identity).
    void SetSlotOf(int index, int slot, const Bytes& text);

private:
    void Store(int index, int slot, const Bytes& text, bool settled);

    mutable std::mutex mutex_;
    std::vector<apcrec> apcList_;
    std::atomic<int> apcIndex_{-1};
};

}  // namespace tornavel
