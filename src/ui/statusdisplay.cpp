#include "statusdisplay.h"

#include <algorithm>
#include <array>

#include "monitor/numbers.h"
#include "protocol/alerts.h"
#include "shared/screen.h"
#include "text/cp1251.h"

namespace tornavel {

namespace {

const Bytes kOnLineStatus = "08";
constexpr int kCalibrationBit = 0;

constexpr std::uint32_t kGreen = 0x50C040;
constexpr std::uint32_t kYellow = 0xE0E000;
constexpr std::uint32_t kRed = 0xFF8070;

std::string Numbered(const char* prefix, int n, const char* suffix = "")
{
    return prefix + std::to_string(n) + suffix;
}

// Gauge value 0..100 with its label; returns the value for the colour choice.
int ShowGauge(Screen& screen, const char* gauge, const char* label, const Bytes& answer)
{
    const int value = std::clamp<std::int32_t>(s2int(answer), 0, 100);
    screen.SetValue(gauge, value);
    screen.SetText(label, std::to_string(value) + "%");
    return value;
}

// The monitoring page's edit boxes by the reading each shows, in three
// groups the page is filled in, around the status and the gauges.
struct Field {
    int slot;
    const char* edit;
};

constexpr std::array<Field, 4> kIdentity = {{
    {kSlotModel, "EditMODEL"},
    {kSlotName, "EditNAME"},
    {kSlotSerial, "EditSERIAL"},
    {kSlotMadeDate, "EditDATA"},
}};
constexpr std::array<Field, 6> kBattery = {{
    {kSlotBatteryCount, "EditBATTCNT"},
    {kSlotBatteryDate, "EditDATAZAM"},
    {kSlotBatteryVolts, "EditUbatt"},
    {kSlotNominalVolts, "EditUnomi"},
    {kSlotTemperature, "EditTgrad"},
    {kSlotRuntime, "EditRUNTIME"},
}};
constexpr std::array<Field, 12> kSettingsAndLine = {{
    {kSlotAlarmDelay, "EditSIGNAL"},
    {kSlotSelfTestInterval, "EditINTSAMOT"},
    {kSlotSensitivity, "EditSENSIT"},
    {kSlotOutputSetting, "EditUout"},
    {kSlotLowTransfer, "EditUPmin"},
    {kSlotHighTransfer, "EditUPmax"},
    {kSlotMinLine, "EditUSmin"},
    {kSlotMaxLine, "EditUSmax"},
    {kSlotInputVolts, "EditUSin"},
    {kSlotOutputVolts, "EditUSout"},
    {kSlotFrequency, "EditFREQ"},
    {kSlotLineQuality, "EditQUALITY"},
}};

}  // namespace

std::string MakeStatus(Screen& screen, const Bytes& status)
{
    std::string text = Cp1251ToUtf8(status);
    if (status == kOnLineStatus) text += " (в сети)";
    if (!IsHexText(status)) return text;  // the icons keep what they showed

    const int bits = HexByteValue(status);  // three or more digits read as 0
    const bool calibrating = bits & (1 << kCalibrationBit);
    screen.SetVisible("ImageKA", calibrating);
    // The idle caption ends in a Latin "a": it tells a status-driven caption
    // from the all-Cyrillic one the button starts with.
    screen.SetText("BitBtnKA", calibrating ? "прервать калибровку" : "калибровкa");
    for (int n = 0; n < 8; ++n)
        screen.SetPicture(Numbered("ImageST", n), Numbered("ImageS", n, bits & (1 << n) ? "" : "x"));
    return text;
}

void SetBatt(Screen& screen, const Bytes& charge)
{
    const int v = ShowGauge(screen, "BATT", "LabelCharge", charge);
    screen.SetColor("BATT", v > 70 ? kGreen : v > 30 ? kYellow : kRed);
}

void SetLoad(Screen& screen, const Bytes& load)
{
    const int v = ShowGauge(screen, "LOAD", "LabelLOAD", load);
    screen.SetColor("LOAD", v > 80 ? kRed : v > 40 ? kYellow : kGreen);
}

std::string_view MonitorField(int slot)
{
    const auto in = [slot](const auto& fields) -> const char* {
        for (const Field& f : fields)
            if (f.slot == slot) return f.edit;
        return nullptr;
    };
    for (const char* edit : {in(kIdentity), in(kBattery), in(kSettingsAndLine)})
        if (edit) return edit;
    return {};
}

void UpdateScreen(Screen& screen, const apcrec& record)
{
    auto show = [&](const auto& fields) {
        for (const auto& f : fields) screen.SetText(f.edit, Cp1251ToUtf8(record.slot[f.slot]));
    };
    show(kIdentity);
    screen.SetText("EditSTATUS", MakeStatus(screen, record.slot[kSlotStatus]));
    screen.PostMessage(WindowMessage::SetLoad);
    show(kBattery);
    screen.PostMessage(WindowMessage::SetBatt);
    show(kSettingsAndLine);
}

void ShowAlert(Screen& screen, const Bytes& token)
{
    if (token == "OK" || token == "NO") {
        screen.SetText("LabelST", "...");
        screen.SetText("LabelUME", token);
        return;
    }
    screen.SetText("LabelUME", token);
    for (const auto& row : alertTable) {
        if (token == row.code) {
            screen.SetText("LabelST", row.message);
            return;
        }
    }
}

std::string PortGoneText(int port)
{
    return "COM" + std::to_string(port) + " отключен, ждите его возвращения...";
}

void ShowIdle(Screen& screen)
{
    screen.SetText("BitBtnGO", "go");
    screen.SetVisible("PageControl1", false);
    screen.SetVisible("PanelPIC", false);
    screen.SetVisible("PanelKA", false);  // its advice and start belong to the ended connection
    screen.SetText("LabelST", "...");
    screen.SetText("LabelUME", "...");
    screen.SetVisible("ImageW", false);
    screen.SetPicture("ImageA", "ImageAOFF");
}

}  // namespace tornavel
