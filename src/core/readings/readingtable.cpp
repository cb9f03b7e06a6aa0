#include "readings/readingtable.h"

#include <array>
#include <cmath>

#include "monitor/readings.h"
#include "protocol/commands.h"

namespace tornavel {

namespace {

using enum ParseRule;
using enum Refresh;

constexpr std::size_t kReadingCount = kReadSlotCount + (kSlotCount - kFirstPowerReturnSlot + 1);

// In the order of the full read, then those read after it.
const std::array<Reading, kReadingCount> kReadings = {{
    {kSlotModel, &cmd::kModel, "model", "", Text, FullRead, "", "", 0, "model", {"ups.model", "UPS model"}},
    {kSlotName, &cmd::kName, "name", "", Text, FullRead, "", "", 0, "name", {"ups.id", "UPS system identifier"}},
    {kSlotSerial, &cmd::kSerial, "serial", "", Text, FullRead, "", "", 0, "serial", {"ups.serial", "UPS serial number"}},
    {kSlotMadeDate,
     &cmd::kMadeDate,
     "manufacture-date",
     "",
     Date,
     FullRead,
     "manufactured_timestamp_seconds",
     "Manufacture date the unit holds, as Unix time of that day's midnight UTC (absent when unreadable).",
     0,
     "manufactured",
     {"ups.mfr.date", "UPS manufacturing date (YYYY-MM-DD)"}},
    {kSlotStatus,
     &cmd::kStatus,
     "status",
     "",
     HexByte,
     EveryCycle,
     "status_byte",
     "The unit's status byte (answer to Q).",
     0,
     "",
     {"ups.status", "UPS status"}},
    {kSlotLoad,
     &cmd::kLoad,
     "load",
     "%",
     Decimal,
     EveryCycle,
     "load_ratio",
     "Output load as a ratio of the unit's capacity (0..1).",
     2,
     "",
     {"ups.load", "Load on UPS (percent of full)"}},
    {kSlotBatteryCount,
     &cmd::kBatteryCount,
     "external-batteries",
     "",
     Decimal,
     FullRead,
     "external_batteries",
     "Number of external battery packs.",
     0,
     "",
     {"battery.packs", "Number of external battery packs"}},
    {kSlotBatteryDate,
     &cmd::kBatteryDate,
     "battery-date",
     "",
     Date,
     FullRead,
     "battery_replaced_timestamp_seconds",
     "Battery replacement date the unit holds, as Unix time of that day's midnight UTC (absent when unreadable).",
     0,
     "battery_replaced",
     {"battery.date", "Battery change date (YYYY-MM-DD)"}},
    {kSlotBatteryVolts,
     &cmd::kBatteryVolts,
     "battery-voltage",
     "V",
     Decimal,
     Rotation,
     "battery_volts",
     "Battery voltage.",
     0,
     "",
     {"battery.voltage", "Battery voltage (V)"}},
    {kSlotNominalVolts,
     &cmd::kNominalVolts,
     "nominal-battery-voltage",
     "V",
     Decimal,
     FullRead,
     "battery_nominal_volts",
     "Nominal battery voltage.",
     0,
     "",
     {"battery.voltage.nominal", "Nominal battery voltage (V)"}},
    {kSlotTemperature,
     &cmd::kTemperature,
     "temperature",
     "°C",
     Decimal,
     Rotation,
     "temperature_celsius",
     "Internal temperature.",
     0,
     "",
     {"ups.temperature", "UPS temperature (degrees C)"}},
    {kSlotRuntime,
     &cmd::kRuntime,
     "runtime",
     "min",
     MinutesToSeconds,
     Rotation,
     "runtime_seconds",
     "Estimated runtime on battery at the present load.",
     0,
     "",
     {"battery.runtime", "Battery runtime (seconds)"}},
    {kSlotCharge,
     &cmd::kCharge,
     "battery-charge",
     "%",
     Decimal,
     EveryCycle,
     "battery_charge_ratio",
     "Battery charge (0..1).",
     2,
     "",
     {"battery.charge", "Battery charge (percent of full)"}},
    {kSlotAlarmDelay, &cmd::kAlarmDelay, "alarm-delay", "", Text, FullRead, "", "", 0, "alarm_delay", {}},
    {kSlotSelfTestInterval,
     &cmd::kSelfTestInterval,
     "self-test-interval",
     "",
     HoursToSeconds,
     FullRead,
     "self_test_interval_seconds",
     "Interval of the automatic self-test (absent when off or only at start).",
     0,
     "self_test_interval",
     {"ups.test.interval", "Interval between self tests (seconds)"}},
    {kSlotSensitivity, &cmd::kSensitivity, "sensitivity", "", Text, FullRead, "", "", 0, "sensitivity", {}},
    {kSlotOutputSetting,
     &cmd::kOutputSetting,
     "output-on-battery",
     "V",
     Decimal,
     Rotation,
     "output_nominal_volts",
     "Output voltage setting while on battery.",
     0,
     "",
     {"output.voltage.nominal", "Nominal output voltage on battery (V)"}},
    {kSlotLowTransfer,
     &cmd::kLowTransfer,
     "low-transfer",
     "V",
     Decimal,
     FullRead,
     "transfer_low_volts",
     "Input voltage below which the unit goes to battery.",
     0,
     "",
     {"input.transfer.low", "Low voltage transfer point (V)"}},
    {kSlotHighTransfer,
     &cmd::kHighTransfer,
     "high-transfer",
     "V",
     Decimal,
     FullRead,
     "transfer_high_volts",
     "Input voltage above which the unit goes to battery.",
     0,
     "",
     {"input.transfer.high", "High voltage transfer point (V)"}},
    {kSlotMinLine,
     &cmd::kMinLine,
     "min-line-voltage",
     "V",
     Decimal,
     Rotation,
     "input_min_volts",
     "Lowest input voltage the unit saw since it was last asked: asked once in 8 monitoring cycles, so about "
     "the last 20 seconds.",
     0,
     "",
     {"input.voltage.minimum", "Minimum input voltage seen lately (V)"}},
    {kSlotMaxLine,
     &cmd::kMaxLine,
     "max-line-voltage",
     "V",
     Decimal,
     Rotation,
     "input_max_volts",
     "Highest input voltage the unit saw since it was last asked: asked once in 8 monitoring cycles, so about "
     "the last 20 seconds.",
     0,
     "",
     {"input.voltage.maximum", "Maximum input voltage seen lately (V)"}},
    {kSlotInputVolts,
     &cmd::kInputVolts,
     "input-voltage",
     "V",
     Decimal,
     EveryCycle,
     "input_volts",
     "Input (mains) voltage.",
     0,
     "",
     {"input.voltage", "Input voltage (V)"}},
    {kSlotOutputVolts,
     &cmd::kOutputVolts,
     "output-voltage",
     "V",
     Decimal,
     EveryCycle,
     "output_volts",
     "Output voltage.",
     0,
     "",
     {"output.voltage", "Output voltage (V)"}},
    {kSlotFrequency,
     &cmd::kFrequency,
     "frequency",
     "Hz",
     Decimal,
     Rotation,
     "input_frequency_hertz",
     "Input line frequency.",
     0,
     "",
     {"input.frequency", "Input line frequency (Hz)"}},
    {kSlotLineQuality,
     &cmd::kLineQuality,
     "line-quality",
     "",
     HexByte,
     Rotation,
     "line_quality",
     "Line quality code as the unit reports it (0..255): 255 (FF) a good line, 0 an acceptable one.",
     0,
     "",
     {}},
    {kSlotSeven, &cmd::kSeven, "switches", "", Text, FullRead, "", "", 0, "", {}},
    {kSlotRegister0, &cmd::kRegister0, "register0", "", HexByte, FullRead, "", "", 0, "", {}},
    {kSlotRegister1, &cmd::kRegister1, "register1", "", HexByte, FullRead, "", "", 0, "", {}},
    {kSlotRegister2, &cmd::kRegister2, "register2", "", HexByte, FullRead, "", "", 0, "", {}},
    {kSlotRegister3, &cmd::kRegister3, "register3", "", HexByte, FullRead, "", "", 0, "", {}},
    // How power comes back after a shutdown, and two readings.
    {kSlotGraceDelay,
     &cmd::kGraceDelay,
     "grace-delay",
     "s",
     Decimal,
     AfterFullRead,
     "shutdown_grace_delay_seconds",
     "Time from a shutdown command to the unit cutting its output (the grace delay, \"p\").",
     0,
     "grace_delay",
     {}},
    {kSlotReturnCharge, &cmd::kReturnCharge, "return-charge", "", Text, AfterFullRead, "", "", 0, "return_charge", {}},
    {kSlotWakeupDelay,
     &cmd::kWakeupDelay,
     "wakeup-delay",
     "s",
     Decimal,
     AfterFullRead,
     "wakeup_delay_seconds",
     "Time the unit waits after the mains return before powering the load (\"r\").",
     0,
     "wakeup_delay",
     {}},
    {kSlotLowBatteryWarning,
     &cmd::kLowBatteryWarning,
     "low-battery-warning",
     "min",
     MinutesToSeconds,
     AfterFullRead,
     "low_battery_warning_seconds",
     "Runtime left when the unit signals a low battery (the low-battery warning, \"q\").",
     0,
     "low_battery_warning",
     {}},
    {kSlotSelfTestResult,
     &cmd::kSelfTestResult,
     "last-self-test",
     "",
     Text,
     AfterFullRead,
     "last_self_test_info",
     "The last self-test's result as the unit reports it (\"X\"): OK passed, BT not enough capacity, NG "
     "overload, NO no result.",
     0,
     "result",
     {}},
    {kSlotTransferCause,
     &cmd::kTransferCause,
     "last-transfer-cause",
     "",
     Text,
     AfterFullRead,
     "last_transfer_cause_info",
     "The cause of the last transfer to battery as the unit reports it (\"G\"): R rate of voltage change, H "
     "high mains, L low mains, T notch or spike, O none yet, S a test.",
     0,
     "cause",
     {}},
}};

const std::array<StatusBit, 8> kStatusBits = {{
    {0, "calibration", "calibrating", "CAL"},
    {1, "smart_trim", "smart trim", "TRIM"},
    {2, "smart_boost", "smart boost", "BOOST"},
    {3, "on_line", "on line", "OL"},
    {4, "on_battery", "on battery", "OB"},
    {5, "overload", "overload", "OVER"},
    {6, "battery_low", "battery low", "LB"},
    {7, "replace_battery", "replace battery", "RB"},
}};

std::optional<double> Parsed(ParseRule rule, const Bytes& answer, int shift)
{
    switch (rule) {
    case Text: return std::nullopt;
    case Decimal: return ParseDecimal(answer, shift);
    case MinutesToSeconds: return ParseMinutesAsSeconds(answer);
    case HoursToSeconds: return ParseHoursAsSeconds(answer);
    case HexByte: {
        const auto value = ParseHexByte(answer);
        return value ? std::optional<double>(*value) : std::nullopt;
    }
    case Date: return ParseDateAsTimestamp(answer);
    }
    return std::nullopt;
}

}  // namespace

std::span<const StatusBit> StatusBits()
{
    return kStatusBits;
}

std::span<const Reading> Readings()
{
    return kReadings;
}

const Reading* ReadingAt(int slot)
{
    for (const Reading& reading : kReadings)
        if (reading.slot == slot) return &reading;
    return nullptr;
}

const Reading& ReadingOf(Slot slot)
{
    return *ReadingAt(slot);  // every slot with a command has its reading
}

const Reading* FindReading(std::string_view name)
{
    for (const Reading& reading : kReadings)
        if (reading.name == name) return &reading;
    return nullptr;
}

std::optional<double> ReadingValue(const Reading& reading, const Bytes& answer)
{
    return Parsed(reading.parse, answer, 0);
}

std::optional<double> MetricValue(const Reading& reading, const Bytes& answer)
{
    // The shift is applied to the digits, so 023.4 % is exactly 0.234.
    return Parsed(reading.parse, answer, reading.metricShift);
}

double FromMetric(const Reading& reading, double metricValue)
{
    return metricValue * std::pow(10.0, reading.metricShift);
}

}  // namespace tornavel
