#include "metricstext.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>

#include "alertnames.h"
#include "monitor/readings.h"
#include "unittext.h"

namespace tornavel::service {

namespace {

constexpr const char* kPrefix = "tornavel_ups_";

}  // namespace

std::string Escaped(const std::string& value)
{
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

namespace {

std::string Number(double value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

using Labels = std::vector<std::pair<const char*, std::string>>;

// One metric family: its samples are added unit by unit; a family without
// samples is not written at all.
class Family {
public:
    Family(const char* name, const char* type, const char* help) : name_(name), type_(type), help_(help) {}

    void Add(const UnitSnapshot& unit, double value, const Labels& extra = {})
    {
        samples_ += kPrefix;
        samples_ += name_;
        samples_ += "{port=\"" + Escaped(unit.port) + "\"";
        if (!unit.unit.empty()) samples_ += ",unit=\"" + Escaped(unit.unit) + "\"";
        for (const auto& [label, text] : extra) samples_ += std::string(",") + label + "=\"" + Escaped(text) + "\"";
        samples_ += "} " + Number(value) + "\n";
    }
    void WriteTo(std::string& out) const
    {
        if (samples_.empty()) return;
        out += std::string("# HELP ") + kPrefix + name_ + " " + help_ + "\n";
        out += std::string("# TYPE ") + kPrefix + name_ + " " + type_ + "\n";
        out += samples_;
    }

private:
    const char* name_;
    const char* type_;
    const char* help_;
    std::string samples_;
};

// A reading taken from one slot of the record.
struct Reading {
    const char* name;
    const char* help;
    int slot;
    std::function<std::optional<double>(const Bytes&)> parse;
};

std::optional<double> Plain(const Bytes& answer) { return ParseDecimal(answer); }
std::optional<double> Ratio(const Bytes& answer) { return ParseDecimal(answer, 2); }
std::optional<double> HexValue(const Bytes& answer)
{
    const auto value = ParseHexByte(answer);
    return value ? std::optional<double>(*value) : std::nullopt;
}

const std::vector<Reading>& Readings()
{
    static const std::vector<Reading> readings = {
        {"load_ratio", "Output load as a ratio of the unit's capacity (0..1).", kSlotLoad, Ratio},
        {"battery_charge_ratio", "Battery charge (0..1).", kSlotCharge, Ratio},
        {"input_volts", "Input (mains) voltage.", kSlotInputVolts, Plain},
        {"output_volts", "Output voltage.", kSlotOutputVolts, Plain},
        {"input_frequency_hertz", "Input line frequency.", kSlotFrequency, Plain},
        {"input_min_volts",
         "Lowest input voltage the unit saw since it was last asked: asked once in 8 monitoring cycles, so about "
         "the last 20 seconds.",
         kSlotMinLine, Plain},
        {"input_max_volts",
         "Highest input voltage the unit saw since it was last asked: asked once in 8 monitoring cycles, so about "
         "the last 20 seconds.",
         kSlotMaxLine, Plain},
        {"battery_volts", "Battery voltage.", kSlotBatteryVolts, Plain},
        {"battery_nominal_volts", "Nominal battery voltage.", kSlotNominalVolts, Plain},
        {"temperature_celsius", "Internal temperature.", kSlotTemperature, Plain},
        {"runtime_seconds", "Estimated runtime on battery at the present load.", kSlotRuntime,
         ParseMinutesAsSeconds},
        {"output_nominal_volts", "Output voltage setting while on battery.", kSlotOutputSetting, Plain},
        {"transfer_low_volts", "Input voltage below which the unit goes to battery.", kSlotLowTransfer, Plain},
        {"transfer_high_volts", "Input voltage above which the unit goes to battery.", kSlotHighTransfer, Plain},
        {"self_test_interval_seconds", "Interval of the automatic self-test (absent when off or only at start).",
         kSlotSelfTestInterval, ParseHoursAsSeconds},
        {"external_batteries", "Number of external battery packs.", kSlotBatteryCount, Plain},
        {"line_quality",
         "Line quality code as the unit reports it (0..255): 255 (FF) a good line, 0 an acceptable one.",
         kSlotLineQuality, HexValue},
        {"battery_replaced_timestamp_seconds",
         "Battery replacement date the unit holds, as Unix time of that day's midnight UTC (absent when unreadable).",
         kSlotBatteryDate, ParseDateAsTimestamp},
        {"manufactured_timestamp_seconds",
         "Manufacture date the unit holds, as Unix time of that day's midnight UTC (absent when unreadable).",
         kSlotMadeDate, ParseDateAsTimestamp},
        {"shutdown_grace_delay_seconds",
         "Time from a shutdown command to the unit cutting its output (the grace delay, \"p\").", kSlotGraceDelay,
         Plain},
        {"wakeup_delay_seconds", "Time the unit waits after the mains return before powering the load (\"r\").",
         kSlotWakeupDelay, Plain},
        {"low_battery_warning_seconds",
         "Runtime left when the unit signals a low battery (the low-battery warning, \"q\").",
         kSlotLowBatteryWarning, ParseMinutesAsSeconds},
    };
    return readings;
}

// Status byte bits, from bit 0.
constexpr std::array<const char*, 8> kStatusFlags = {
    "calibration", "smart_trim", "smart_boost", "on_line",
    "on_battery",  "overload",   "battery_low", "replace_battery",
};

constexpr std::array<int, 4> kRegisterSlots = {kSlotRegister0, kSlotRegister1, kSlotRegister2, kSlotRegister3};

Labels Identity(const UnitSnapshot& unit)
{
    return {{"model", UnitText(unit.slots[kSlotModel])},
            {"serial", UnitText(unit.slots[kSlotSerial])},
            {"name", UnitText(unit.slots[kSlotName])},
            {"manufactured", UnitText(unit.slots[kSlotMadeDate])},
            {"battery_replaced", UnitText(unit.slots[kSlotBatteryDate])}};
}

Labels Settings(const UnitSnapshot& unit)
{
    Labels labels = {{"alarm_delay", UnitText(unit.slots[kSlotAlarmDelay])},
                     {"sensitivity", UnitText(unit.slots[kSlotSensitivity])},
                     {"self_test_interval", UnitText(unit.slots[kSlotSelfTestInterval])}};
    // How power comes back: read after the full read, named when answered.
    const std::pair<const char*, int> powerReturn[] = {{"grace_delay", kSlotGraceDelay},
                                                       {"return_charge", kSlotReturnCharge},
                                                       {"wakeup_delay", kSlotWakeupDelay},
                                                       {"low_battery_warning", kSlotLowBatteryWarning}};
    for (const auto& [label, slot] : powerReturn)
        if (!unit.slots[slot].empty()) labels.emplace_back(label, UnitText(unit.slots[slot]));
    return labels;
}

}  // namespace

std::string RenderMetrics(const std::vector<UnitSnapshot>& units)
{
    Family up("up", "gauge", "1 while the unit answers, 0 once a whole monitoring cycle got no answer or the port's device went away.");
    Family lastGood("last_good_reading_timestamp_seconds", "gauge",
                    "Unix time of the last monitoring cycle the unit answered.");
    Family info("info", "gauge", "Identity of the unit from its last full read.");
    Family settings("settings_info", "gauge", "Settings of the unit from its last full read, as it reports them.");
    Family statusByte("status_byte", "gauge", "The unit's status byte (answer to Q).");
    Family selfTest("last_self_test_info", "gauge",
                    "The last self-test's result as the unit reports it (\"X\"): OK passed, BT not enough "
                    "capacity, NG overload, NO no result.");
    Family transferCause("last_transfer_cause_info", "gauge",
                         "The cause of the last transfer to battery as the unit reports it (\"G\"): R rate of "
                         "voltage change, H high mains, L low mains, T notch or spike, O none yet, S a test.");
    Family status("status", "gauge", "One status flag of the unit: 1 set, 0 clear.");
    Family registers("register", "gauge", "The unit's registers 0 to 3 as bytes.");
    Family alerts("alerts_total", "counter", "Alerts the unit sent since the monitor started, by kind.");
    Family losses("link_losses_total", "counter", "Times the unit stopped answering since the monitor started.");
    Family onBattery("on_battery_seconds", "gauge",
                     "Time on battery in the present outage at the last reading; 0 on line, absent when the "
                     "outage began before the monitor saw the unit.");
    Family lastTransfer("last_transfer_to_battery_timestamp_seconds", "gauge",
                        "Unix time the monitor last saw the unit go to battery.");
    Family pending("shutdown_pending", "gauge",
                   "1 once this monitor has decided to shut its host down for the unit's battery, else 0; "
                   "only for a unit that protects the host (--protect).");
    Family lockHolder("port_lock_holder", "gauge",
                      "1 while the port cannot be opened and its UUCP lock file names this live process; "
                      "absent otherwise.");
    std::vector<Family> readings;
    for (const Reading& r : Readings()) readings.emplace_back(r.name, "gauge", r.help);

    for (const UnitSnapshot& unit : units) {
        up.Add(unit, unit.up ? 1 : 0);
        if (unit.lastGoodSeconds) lastGood.Add(unit, *unit.lastGoodSeconds);
        if (unit.identified) {
            info.Add(unit, 1, Identity(unit));
            settings.Add(unit, 1, Settings(unit));
        }
        for (std::size_t row = 0; row < kAlertNames.size(); ++row)
            alerts.Add(unit, static_cast<double>(unit.alerts[row]), {{"alert", kAlertNames[row]}});
        losses.Add(unit, static_cast<double>(unit.linkLosses));
        if (const auto at = unit.outage.lastTransfer()) lastTransfer.Add(unit, *at);
        if (unit.shutdownPending) pending.Add(unit, *unit.shutdownPending ? 1 : 0);
        if (unit.lockHolder)
            lockHolder.Add(unit, 1, {{"pid", std::to_string(unit.lockHolder->pid)}, {"program", unit.lockHolder->program}});
        if (!unit.up) continue;  // no reading of a silent unit is current

        if (!unit.slots[kSlotSelfTestResult].empty())
            selfTest.Add(unit, 1, {{"result", UnitText(unit.slots[kSlotSelfTestResult])}});
        if (!unit.slots[kSlotTransferCause].empty())
            transferCause.Add(unit, 1, {{"cause", UnitText(unit.slots[kSlotTransferCause])}});
        if (const auto byte = ParseHexByte(unit.slots[kSlotStatus])) {
            statusByte.Add(unit, *byte);
            for (std::size_t bit = 0; bit < kStatusFlags.size(); ++bit)
                status.Add(unit, (*byte >> bit) & 1, {{"flag", kStatusFlags[bit]}});
            if (!StatusFlags{*byte}.OnBattery())
                onBattery.Add(unit, 0);
            else if (unit.outage.since() && unit.lastGoodSeconds)
                onBattery.Add(unit, std::max(0.0, *unit.lastGoodSeconds - *unit.outage.since()));
        }
        for (std::size_t i = 0; i < readings.size(); ++i) {
            const Reading& r = Readings()[i];
            if (const auto value = r.parse(unit.slots[r.slot])) readings[i].Add(unit, *value);
        }
        for (std::size_t n = 0; n < kRegisterSlots.size(); ++n) {
            if (const auto value = ParseHexByte(unit.slots[kRegisterSlots[n]]))
                registers.Add(unit, *value, {{"register", std::to_string(n)}});
        }
    }

    std::string out;
    for (const Family* f : {&up, &lastGood, &info, &settings, &selfTest, &transferCause, &statusByte, &status, &onBattery})
        f->WriteTo(out);
    for (const Family& f : readings) f.WriteTo(out);
    for (const Family* f : {&registers, &alerts, &losses, &lastTransfer, &pending, &lockHolder}) f->WriteTo(out);
    return out;
}

}  // namespace tornavel::service
