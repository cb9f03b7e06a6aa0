#include "staleness.h"

#include <array>
#include <cstdint>

#include "shared/screen.h"

namespace tornavel {

namespace {

constexpr std::uint32_t kCurrentText = 0x000000;
constexpr std::uint32_t kOldText = 0x909090;
constexpr std::uint32_t kOldGauge = 0xC0C0C0;
constexpr int kStatusIcons = 8;

// The monitoring page's fields that the polling reads refresh.
constexpr std::array kPolledFields = {
    "EditSTATUS", "EditUSin",  "EditUSout", "EditUbatt", "EditTgrad",   "EditRUNTIME",
    "EditUout",   "EditUSmin", "EditUSmax", "EditFREQ",  "EditQUALITY",
};
constexpr std::array kGaugeLabels = {"LabelLOAD", "LabelCharge"};
constexpr std::array kGauges = {"LOAD", "BATT"};

}  // namespace

std::string StaleText(std::time_t lastGood)
{
    std::tm local{};
    localtime_r(&lastGood, &local);
    char clock[16];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    return std::string("нет ответа, данные от ") + clock;
}

void Staleness::Start(std::time_t at)
{
    lastGood_ = at;
    stale_ = false;
    Restore();  // an earlier connection may have ended with old values
}

void Staleness::AfterCycle(bool answered, std::time_t now)
{
    if (answered) {
        lastGood_ = now;
        if (stale_) ShowCurrent();
        stale_ = false;
        return;
    }
    // Every unanswered cycle again: its gauge messages have just redrawn the
    // gauges from empty answers.
    stale_ = true;
    ShowOld();
}

void Staleness::ShowOld()
{
    for (const char* field : kPolledFields) screen_.SetColor(field, kOldText);
    for (int n = 0; n < kStatusIcons; ++n) screen_.SetVisible("ImageST" + std::to_string(n), false);
    for (const char* gauge : kGauges) screen_.SetColor(gauge, kOldGauge);
    for (const char* label : kGaugeLabels) {
        screen_.SetText(label, "?");
        screen_.SetColor(label, kOldText);
    }
    screen_.SetText("LabelST", StaleText(lastGood_));
}

void Staleness::ShowCurrent()
{
    Restore();
    screen_.SetText("LabelST", "подключен");
}

void Staleness::Restore()
{
    for (const char* field : kPolledFields) screen_.SetColor(field, kCurrentText);
    for (int n = 0; n < kStatusIcons; ++n) screen_.SetVisible("ImageST" + std::to_string(n), true);
    for (const char* label : kGaugeLabels) screen_.SetColor(label, kCurrentText);
}

}  // namespace tornavel
