#include "publish/metricstext.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "events/alertnames.h"
#include "monitor/readings.h"
#include "readings/readingtable.h"
#include "units/unittext.h"

namespace tornavel::service {

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
        samples_ += kMetricPrefix;
        samples_ += name_;
        samples_ += "{port=\"" + Escaped(unit.port) + "\"";
        if (!unit.unit.empty()) samples_ += ",unit=\"" + Escaped(unit.unit) + "\"";
        for (const auto& [label, text] : extra) samples_ += std::string(",") + label + "=\"" + Escaped(text) + "\"";
        samples_ += "} " + Number(value) + "\n";
    }
    void WriteTo(std::string& out) const
    {
        if (samples_.empty()) return;
        out += "# HELP " + std::string(kMetricPrefix) + name_ + " " + help_ + "\n";
        out += "# TYPE " + std::string(kMetricPrefix) + name_ + " " + type_ + "\n";
        out += samples_;
    }

private:
    const char* name_;
    const char* type_;
    const char* help_;
    std::string samples_;
};

constexpr std::array<int, 4> kRegisterSlots = {kSlotRegister0, kSlotRegister1, kSlotRegister2, kSlotRegister3};

// The layout of the exposition: which readings are gauges, info labels and
// registers, in the order written. Names, help texts and parsing come from
// the readings table.
constexpr std::array kGaugeOrder = {
    kSlotLoad,
    kSlotCharge,
    kSlotInputVolts,
    kSlotOutputVolts,
    kSlotFrequency,
    kSlotMinLine,
    kSlotMaxLine,
    kSlotBatteryVolts,
    kSlotNominalVolts,
    kSlotTemperature,
    kSlotRuntime,
    kSlotOutputSetting,
    kSlotLowTransfer,
    kSlotHighTransfer,
    kSlotSelfTestInterval,
    kSlotBatteryCount,
    kSlotLineQuality,
    kSlotBatteryDate,
    kSlotMadeDate,
    kSlotGraceDelay,
    kSlotWakeupDelay,
    kSlotLowBatteryWarning,
};
constexpr std::array kIdentityLabels = {kSlotModel, kSlotSerial, kSlotName, kSlotMadeDate, kSlotBatteryDate};
constexpr std::array kSettingsLabels = {kSlotAlarmDelay, kSlotSensitivity, kSlotSelfTestInterval};
// How power comes back: read after the full read, named when answered.
constexpr std::array kPowerReturnLabels = {kSlotGraceDelay, kSlotReturnCharge, kSlotWakeupDelay,
                                           kSlotLowBatteryWarning};
// Text readings published as a series of their own.
constexpr std::array kOwnInfoSeries = {kSlotSelfTestResult, kSlotTransferCause};

template <std::size_t N>
Labels InfoLabels(const UnitSnapshot& unit, const std::array<Slot, N>& slots)
{
    Labels labels;
    for (const Slot slot : slots) labels.emplace_back(ReadingOf(slot).label.data(), UnitText(unit.slots[slot]));
    return labels;
}

Labels SettingLabels(const UnitSnapshot& unit)
{
    Labels labels = InfoLabels(unit, kSettingsLabels);
    for (const Slot slot : kPowerReturnLabels)
        if (!unit.slots[slot].empty()) labels.emplace_back(ReadingOf(slot).label.data(), UnitText(unit.slots[slot]));
    return labels;
}

}  // namespace

std::string RenderMetrics(const std::vector<UnitSnapshot>& units)
{
    Family up(
        kUpMetric, "gauge",
        "1 while the unit answers, 0 once a whole monitoring cycle got no answer or the port's device went away.");
    Family lastGood(kLastGoodMetric, "gauge", "Unix time of the last monitoring cycle the unit answered.");
    Family info("info", "gauge", "Identity of the unit from its last full read.");
    Family settings("settings_info", "gauge", "Settings of the unit from its last full read, as it reports them.");
    const Reading& statusReading = ReadingOf(kSlotStatus);
    Family statusByte(statusReading.metric.data(), "gauge", statusReading.help.data());
    std::vector<Family> ownInfo;
    for (const Slot slot : kOwnInfoSeries)
        ownInfo.emplace_back(ReadingOf(slot).metric.data(), "gauge", ReadingOf(slot).help.data());
    Family status("status", "gauge", "One status flag of the unit: 1 set, 0 clear.");
    Family registers("register", "gauge", "The unit's registers 0 to 3 as bytes.");
    Family alerts(kAlertsMetric, "counter", "Alerts the unit sent since the monitor started, by kind.");
    Family losses(kLinkLossesMetric, "counter", "Times the unit stopped answering since the monitor started.");
    Family onBattery("on_battery_seconds", "gauge",
                     "Time on battery in the present outage at the last reading; 0 on line, absent when the "
                     "outage began before the monitor saw the unit.");
    Family lastTransfer("last_transfer_to_battery_timestamp_seconds", "gauge",
                        "Unix time the monitor last saw the unit go to battery.");
    Family pending(kShutdownPendingMetric, "gauge",
                   "1 once this monitor has decided to shut its host down for the unit's battery, else 0; "
                   "only for a unit that protects the host (--protect).");
    Family lockHolder("port_lock_holder", "gauge",
                      "1 while the port cannot be opened and its UUCP lock file names this live process; "
                      "absent otherwise.");
    std::vector<Family> readings;
    for (const Slot slot : kGaugeOrder)
        readings.emplace_back(ReadingOf(slot).metric.data(), "gauge", ReadingOf(slot).help.data());

    for (const UnitSnapshot& unit : units) {
        up.Add(unit, unit.up ? 1 : 0);
        if (unit.lastGoodSeconds) lastGood.Add(unit, *unit.lastGoodSeconds);
        if (unit.identified) {
            info.Add(unit, 1, InfoLabels(unit, kIdentityLabels));
            settings.Add(unit, 1, SettingLabels(unit));
        }
        for (std::size_t row = 0; row < kAlertNames.size(); ++row)
            alerts.Add(unit, static_cast<double>(unit.alerts[row]), {{"alert", kAlertNames[row]}});
        losses.Add(unit, static_cast<double>(unit.linkLosses));
        if (const auto at = unit.outage.lastTransfer()) lastTransfer.Add(unit, *at);
        if (unit.shutdownPending) pending.Add(unit, *unit.shutdownPending ? 1 : 0);
        if (unit.lockHolder)
            lockHolder.Add(unit, 1,
                           {{"pid", std::to_string(unit.lockHolder->pid)}, {"program", unit.lockHolder->program}});
        if (!unit.up) continue;  // no reading of a silent unit is current

        for (std::size_t i = 0; i < kOwnInfoSeries.size(); ++i) {
            const Reading& reading = ReadingOf(kOwnInfoSeries[i]);
            if (const Bytes& answer = unit.slots[reading.slot]; !answer.empty())
                ownInfo[i].Add(unit, 1, {{reading.label.data(), UnitText(answer)}});
        }
        if (const auto byte = ParseHexByte(unit.slots[statusReading.slot])) {
            statusByte.Add(unit, *byte);
            for (const StatusBit& flag : StatusBits())
                status.Add(unit, (*byte >> flag.bit) & 1, {{"flag", std::string(flag.metric)}});
            if (!StatusFlags{*byte}.OnBattery())
                onBattery.Add(unit, 0);
            else if (unit.outage.since() && unit.lastGoodSeconds)
                onBattery.Add(unit, std::max(0.0, *unit.lastGoodSeconds - *unit.outage.since()));
        }
        for (std::size_t i = 0; i < kGaugeOrder.size(); ++i) {
            const Reading& reading = ReadingOf(kGaugeOrder[i]);
            if (const auto value = MetricValue(reading, unit.slots[reading.slot])) readings[i].Add(unit, *value);
        }
        for (std::size_t n = 0; n < kRegisterSlots.size(); ++n) {
            if (const auto value = ParseHexByte(unit.slots[kRegisterSlots[n]]))
                registers.Add(unit, *value, {{"register", std::to_string(n)}});
        }
    }

    std::string out;
    for (const Family* f : {&up, &lastGood, &info, &settings}) f->WriteTo(out);
    for (const Family& f : ownInfo) f.WriteTo(out);
    for (const Family* f : {&statusByte, &status, &onBattery}) f->WriteTo(out);
    for (const Family& f : readings) f.WriteTo(out);
    for (const Family* f : {&registers, &alerts, &losses, &lastTransfer, &pending, &lockHolder}) f->WriteTo(out);
    return out;
}

}  // namespace tornavel::service
