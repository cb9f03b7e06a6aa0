#include "monitor/readings.h"

#include <chrono>
#include <cmath>
#include <cstdint>

#include "monitor/numbers.h"

namespace tornavel {

namespace {

// Enough for any reading; longer digit runs are not a number the unit sends.
constexpr std::size_t kMaxDigits = 15;

Bytes Trimmed(const Bytes& text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == Bytes::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool AllDigits(const Bytes& text)
{
    if (text.empty() || text.size() > kMaxDigits) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

std::optional<double> WholeNumber(const Bytes& text)
{
    if (!AllDigits(text)) return std::nullopt;
    return static_cast<double>(std::stoll(text));
}

}  // namespace

std::optional<double> ParseDecimal(const Bytes& answer, int shift)
{
    const Bytes text = Trimmed(answer);
    const auto point = text.find('.');
    const Bytes whole = text.substr(0, point);
    const Bytes fraction = point == Bytes::npos ? Bytes() : text.substr(point + 1);
    if (!AllDigits(whole) || (point != Bytes::npos && !AllDigits(fraction))) return std::nullopt;
    if (whole.size() + fraction.size() > kMaxDigits) return std::nullopt;
    // An exact integer divided by an exact power of ten: correctly rounded.
    const auto mantissa = static_cast<double>(std::stoll(whole + fraction));
    return mantissa / std::pow(10.0, static_cast<double>(fraction.size()) + shift);
}

std::optional<double> ParseMinutesAsSeconds(const Bytes& answer)
{
    Bytes text = Trimmed(answer);
    if (!text.empty() && text.back() == ':') text.pop_back();
    const auto minutes = WholeNumber(text);
    if (!minutes) return std::nullopt;
    return *minutes * 60;
}

std::optional<double> ParseHoursAsSeconds(const Bytes& answer)
{
    const auto hours = WholeNumber(Trimmed(answer));
    if (!hours) return std::nullopt;
    return *hours * 3600;
}

std::optional<int> ParseHexByte(const Bytes& answer)
{
    if (!IsHexByte(answer)) return std::nullopt;
    return HexByteValue(answer);
}

std::optional<double> ParseDateAsTimestamp(const Bytes& answer)
{
    const Bytes text = Trimmed(answer);
    if (text.size() != 8 || text[2] != '/' || text[5] != '/') return std::nullopt;
    const auto day = WholeNumber(text.substr(0, 2));
    const auto month = WholeNumber(text.substr(3, 2));
    const auto yy = WholeNumber(text.substr(6, 2));
    if (!day || !month || !yy) return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(*yy) + (*yy >= 70 ? 1900 : 2000)),
                                           std::chrono::month(static_cast<unsigned>(*month)),
                                           std::chrono::day(static_cast<unsigned>(*day))};
    if (!date.ok()) return std::nullopt;
    return static_cast<double>(std::chrono::sys_days(date).time_since_epoch().count()) * 86400;
}

std::optional<StatusFlags> ParseStatus(const Bytes& answer)
{
    const auto bits = ParseHexByte(answer);
    if (!bits) return std::nullopt;
    return StatusFlags{*bits};
}

}  // namespace tornavel
