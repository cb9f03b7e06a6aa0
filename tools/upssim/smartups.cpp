#include "smartups.h"

#include "escapes.h"

#include <cstdio>

namespace upssim {

namespace {

constexpr char kCtrlA = 0x01;
constexpr char kDelete = 0x7F;
constexpr double kEepromWriteMs = 1000.0;       // "|" follows a stepped change
constexpr double kSimulatedFailureMs = 3000.0;  // "U"
constexpr double kBatteryTestMs = 2000.0;       // "W"
constexpr double kCalibrationMs = 180000.0;     // "D" ends by itself after this
constexpr double kAbandonedWriteMs = 5000.0;    // a field write with no byte for this long is dropped
constexpr double kDriftPeriodMs = 1000.0;
constexpr double kProgMinMs = 1500.0;
constexpr double kProgMaxMs = 4000.0;

size_t FieldLength(char field)
{
    return field == 'n' ? 14 : 8;
}

bool NeedsProgramming(char field)
{
    return field == 'm' || field == 'n';
}

std::string HexByte(unsigned value)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

int RegisterIndex(char c)
{
    switch (c) {
    case '0': return 0;
    case '~': return 1;
    case '\'': return 2;
    case '8': return 3;
    default: return -1;
    }
}

}  // namespace

SmartUps::SmartUps(UpsProfile profile, Line& line, std::mt19937& random, const DeviceSettings& settings, double now)
    : profile_(std::move(profile)),
      line_(line),
      random_(random),
      steady_(settings.steady),
      battery_(settings.battery),
      live_(profile_.live)
{
    ScheduleDrift(now);
}

void SmartUps::Receive(unsigned char byte, double now)
{
    const char c = static_cast<char>(byte);
    if (write_) {
        if (now - write_->lastByteAt <= kAbandonedWriteMs) {
            WriteFieldByte(c, now);
            return;
        }
        write_.reset();
    }
    if (!smart_) {
        if (c == 'Y') {
            smart_ = true;
            line_.Answer("SM\r\n");
        }
        return;
    }
    if (delayDigits_) {
        ShutdownDigit(c, now);
        return;
    }
    Command(c, now);
}

void SmartUps::Command(char c, double now)
{
    if (c != '1') firstOneAt_ = NAN;
    if (c != '+' && c != '-') context_ = 0;

    switch (c) {
    case 'Y': line_.Answer("SM\r\n"); return;
    case 'R':
        smart_ = false;
        programming_ = false;
        line_.Answer("BYE\r\n");
        return;
    case '1':
        if (!std::isnan(firstOneAt_) && now - firstOneAt_ >= kProgMinMs && now - firstOneAt_ <= kProgMaxMs) {
            programming_ = true;
            firstOneAt_ = NAN;
            line_.Answer("PROG\r\n");
        } else {
            firstOneAt_ = now;
        }
        return;
    case '0':
        if (programming_) {  // here "0" only selects the register for the next step
            context_ = c;
            return;
        }
        break;
    case '+':
    case '-': Step(c, now); return;
    case 'A': line_.Answer("OK\r\n"); return;
    case 'W':
        if (OnBattery()) {
            line_.Answer("NO\r\n");
        } else {
            line_.Answer("OK\r\n");
            StartBatteryTest(now);
        }
        return;
    case 'U':
        if (mainsFailed_) {
            line_.Answer("NO\r\n");
        } else {
            line_.Answer("OK\r\n");
            SimulateFailure(now);
        }
        return;
    case 'D':
        line_.Answer("OK\r\n");
        ToggleCalibration(now);
        return;
    case 'S':
        // Honoured only on battery; on line the unit will not cut its output.
        if (OnBattery())
            OrderShutdown(now, 0, "S");
        else
            line_.Answer("NA\r\n");
        return;
    case '@': delayDigits_ = std::string(); return;
    case kDelete:
        if (shutdown_ && !outputOff_) {
            shutdown_.reset();
            line_.Report("shutdown cancelled");
        }
        line_.Answer("OK\r\n");
        return;
    default: break;
    }

    if (const auto value = ValueOf(c)) {
        line_.Answer(*value + "\r\n");
        context_ = c;
    } else {
        line_.Answer("NA\r\n");
    }
}

void SmartUps::Step(char direction, double now)
{
    if (auto setting = profile_.stepped.find(context_); setting != profile_.stepped.end()) {
        SteppedSetting& s = setting->second;
        s.index = (s.index + (direction == '+' ? 1 : s.values.size() - 1)) % s.values.size();
        line_.Answer("OK\r\n");
        timers_.At(now + kEepromWriteMs, [this](double) { line_.Alert("|"); });
        return;
    }
    if (profile_.fields.count(context_)) {
        if (NeedsProgramming(context_) && !programming_) {
            line_.Answer("NO\r\n");
        } else if (direction == '+') {
            write_ = FieldWrite{context_, {}, now};
            context_ = 0;
        } else {
            line_.Answer("NA\r\n");
        }
        return;
    }
    if (context_ == '0') {
        if (programming_)
            profile_.registers[0] = static_cast<unsigned char>(profile_.registers[0] + (direction == '+' ? 1 : -1));
        else
            line_.Answer("NO\r\n");
        return;
    }
    line_.Answer("NA\r\n");
}

void SmartUps::WriteFieldByte(char c, double now)
{
    write_->bytes += c;
    write_->lastByteAt = now;
    if (write_->bytes.size() < FieldLength(write_->field)) return;
    profile_.fields[write_->field] = write_->bytes;
    write_.reset();
    line_.Answer("OK\r\n");
}

std::optional<std::string> SmartUps::ValueOf(char c) const
{
    if (auto o = overrides_.find(c); o != overrides_.end()) return o->second;
    if (c == kCtrlA) return profile_.model;
    if (auto f = profile_.fields.find(c); f != profile_.fields.end()) {
        // Zero bytes fill a short text; they are not sent back.
        const size_t end = f->second.find_last_not_of('\0');
        return end == std::string::npos ? std::string() : f->second.substr(0, end + 1);
    }
    if (auto s = profile_.stepped.find(c); s != profile_.stepped.end()) return s->second.values[s->second.index];
    if (auto x = profile_.fixed.find(c); x != profile_.fixed.end()) return x->second;
    if (const int r = RegisterIndex(c); r >= 0) return HexByte(profile_.registers[r]);
    if (c == 'Q') return StatusText();
    return live_.Answer(c, CurrentConditions());
}

std::string SmartUps::StatusText() const
{
    unsigned status = OnBattery() ? 0x10 : 0x08;
    if (calibrating_) status |= 0x01;
    if (overload_) status |= 0x20;
    if (batteryLow_) status |= 0x40;
    if (replaceBattery_) status |= 0x80;
    return HexByte(status);
}

Conditions SmartUps::CurrentConditions() const
{
    const SteppedSetting& output = profile_.stepped.at('o');
    return {OnBattery(), overload_, calibrating_, std::stod(output.values[output.index])};
}

void SmartUps::SimulateFailure(double now)
{
    const unsigned run = ++failureRun_;
    simulatedFailure_ = true;
    profile_.fixed['G'] = "S";  // the last transfer: a test from the serial port
    line_.Alert("!");
    timers_.At(now + kSimulatedFailureMs, [this, run](double) {
        if (run != failureRun_) return;
        simulatedFailure_ = false;
        if (!mainsFailed_) line_.Alert("$");
    });
}

void SmartUps::StartBatteryTest(double now)
{
    const unsigned run = ++testRun_;
    batteryTest_ = true;
    timers_.At(now + kBatteryTestMs, [this, run](double) {
        if (run != testRun_) return;
        batteryTest_ = false;
        profile_.fixed['X'] = "OK";
    });
}

void SmartUps::ToggleCalibration(double now)
{
    const unsigned run = ++calibrationRun_;
    calibrating_ = !calibrating_;
    if (!calibrating_) return;
    timers_.At(now + kCalibrationMs, [this, run](double) {
        if (run == calibrationRun_) calibrating_ = false;
    });
}

void SmartUps::ScheduleDrift(double now)
{
    timers_.At(now + kDriftPeriodMs, [this](double when) {
        if (!steady_) live_.Drift(random_, CurrentConditions(), battery_.drainPerSecond);
        FollowBattery();
        FollowOutput(when);
        ScheduleDrift(when);
    });
}

// The battery-low flag follows the runtime while on battery, with the
// unit's own alerts, when the model gives a threshold.
void SmartUps::FollowBattery()
{
    if (battery_.lowRuntimeMinutes <= 0) return;
    const bool low = OnBattery() && live_.RuntimeMinutes() < battery_.lowRuntimeMinutes;
    if (low == batteryLow_) return;
    batteryLow_ = low;
    line_.Alert(low ? "%" : "+");
}

// A shutdown ordered by "S" or "@NNN": the output goes off once the grace
// delay has passed, and comes back when the mains are there ("S"), or that
// many tenths of an hour after they are ("@NNN").
void SmartUps::FollowOutput(double now)
{
    if (shutdown_ && !outputOff_ && now >= shutdown_->offAt) {
        outputOff_ = true;
        line_.Report("output off");
    }
    if (!outputOff_) return;
    if (OnBattery()) {
        mainsBackAt_ = NAN;
        return;
    }
    if (std::isnan(mainsBackAt_)) mainsBackAt_ = now;
    if (now - mainsBackAt_ < shutdown_->returnDelayMs) return;
    outputOff_ = false;
    shutdown_.reset();
    mainsBackAt_ = NAN;
    line_.Report("output on");
}

void SmartUps::OrderShutdown(double now, double returnDelayMs, const char* how)
{
    shutdown_ = PendingShutdown{now + battery_.graceSeconds * 1000.0, returnDelayMs};
    line_.Answer("OK\r\n");
    line_.Report(std::string(how) + ": output off in " + std::to_string(static_cast<int>(battery_.graceSeconds)) +
                 " s");
}

void SmartUps::ShutdownDigit(char c, double now)
{
    if (c < '0' || c > '9') {
        delayDigits_.reset();
        line_.Answer("NA\r\n");
        return;
    }
    *delayDigits_ += c;
    if (delayDigits_->size() < 3) return;
    const double tenths = std::stoi(*delayDigits_);
    const std::string how = "@" + *delayDigits_;
    delayDigits_.reset();
    OrderShutdown(now, tenths * battery_.tenthHourSeconds * 1000.0, how.c_str());
}

void SmartUps::LineClosed()
{
    smart_ = false;
    programming_ = false;
    context_ = 0;
    firstOneAt_ = NAN;
    write_.reset();
    delayDigits_.reset();  // an ordered shutdown goes on: the host may well be gone
}

EventResult SmartUps::Event(const std::string& name, const std::string& argument, double)
{
    // Each alert event sets or clears its status bit and sends its character.
    struct AlertEvent {
        const char* name;
        bool SmartUps::*flag;
        bool value;
        const char* alert;
    };
    static const AlertEvent alertEvents[] = {
        {"mains-fail", &SmartUps::mainsFailed_, true, "!"},
        {"mains-ok", &SmartUps::mainsFailed_, false, "$"},
        {"battery-low", &SmartUps::batteryLow_, true, "%"},
        {"battery-ok", &SmartUps::batteryLow_, false, "+"},
        {"replace-battery", &SmartUps::replaceBattery_, true, "#"},
        {"battery-replaced", &SmartUps::replaceBattery_, false, ""},
        {"overload", &SmartUps::overload_, true, "?"},
        {"overload-end", &SmartUps::overload_, false, "="},
        {"shutdown", nullptr, false, "*"},
    };
    for (const AlertEvent& e : alertEvents) {
        if (name != e.name) continue;
        if (!argument.empty()) return EventResult::BadArgument;
        if (e.flag) this->*e.flag = e.value;
        if (*e.alert) line_.Alert(e.alert);
        return EventResult::Done;
    }
    if (name == "set") return SetAnswer(argument, true);
    if (name == "unset") return SetAnswer(argument, false);
    return EventResult::Unknown;
}

// "set CMD TEXT" fixes the answer to CMD (one byte, escapes allowed) to TEXT;
// "unset CMD" gives CMD its own answer back.
EventResult SmartUps::SetAnswer(const std::string& argument, bool set)
{
    const size_t space = argument.find_first_of(" \t");
    const size_t textStart = argument.find_first_not_of(" \t", space);
    const auto command = DecodeEscapes(argument.substr(0, space));
    const auto text = DecodeEscapes(textStart == std::string::npos ? "" : argument.substr(textStart));
    if (!command || command->size() != 1 || !text || (!set && textStart != std::string::npos))
        return EventResult::BadArgument;
    if (set)
        overrides_[(*command)[0]] = *text;
    else
        overrides_.erase((*command)[0]);
    return EventResult::Done;
}

}  // namespace upssim
