#include "settings/fieldrules.h"

#include "monitor/numbers.h"
#include "protocol/alerts.h"
#include "protocol/commands.h"
#include "text/cp1251.h"
#include "text/procedures.h"

namespace tornavel {

namespace {

constexpr std::size_t kNameLength = 8;
constexpr std::size_t kSerialLength = 14;
constexpr char kZeroFill = '\0';  // a short name is filled with zero bytes, not blanks
constexpr char kDateSeparator = '/';

int TwoDigits(const Bytes& date, std::size_t at)
{
    return (date[at] - '0') * 10 + (date[at + 1] - '0');
}

int DaysInMonth(int month, int year)
{
    switch (month) {
    case 2: return year % 4 == 0 ? 29 : 28;  // two-digit years: every fourth one is leap
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    default: return 31;
    }
}

// Characters, not bytes: the manufacture-date box accepts Cyrillic too.
std::size_t CharacterCount(const std::string& utf8)
{
    std::size_t count = 0;
    for (unsigned char byte : utf8)
        if ((byte & 0xC0) != 0x80) ++count;
    return count;
}

SaveOutcome PrepareText(const std::string& utf8Text, std::size_t length, const Bytes& command, ChangeRequestTexts& out)
{
    if (utf8Text.empty()) return SaveOutcome::Flash;
    out = {command, FitText(Utf8ToCp1251(utf8Text), length, kZeroFill)};
    return SaveOutcome::Request;
}

SaveOutcome PrepareDate(const std::string& utf8Text, const Bytes& command, ChangeRequestTexts& out)
{
    const Bytes date = Utf8ToCp1251(utf8Text);
    if (!isDATA(date)) return SaveOutcome::Flash;
    if (!DateFitsCalendar(date)) return SaveOutcome::Refused;
    out = {command, date};
    return SaveOutcome::Request;
}

}  // namespace

Bytes FitText(const Bytes& text, std::size_t length, char fill)
{
    Bytes fitted = text.substr(0, length);
    fitted.resize(length, fill);
    return fitted;
}

bool isDATA(const Bytes& text)
{
    return text.size() == 8 && text[2] == kDateSeparator && text[5] == kDateSeparator && IsDigits(text.substr(0, 2)) &&
           IsDigits(text.substr(3, 2)) && IsDigits(text.substr(6, 2));
}

bool DateFitsCalendar(const Bytes& date)
{
    if (!isDATA(date)) return false;
    const int day = TwoDigits(date, 0);
    const int month = TwoDigits(date, 3);
    const int year = TwoDigits(date, 6);
    if (month > 12) return false;
    return month == 0 || day <= DaysInMonth(month, year);
}

bool IsRegisterValue(const Bytes& text)
{
    return text.size() == 2 && IsHexText(text);
}

bool AcceptIdentityChar(char32_t c)
{
    // The UPS's own alert characters would be taken out of its answers; a
    // character the wire encoding lacks would go out as "?", one of them.
    if (!HasCp1251Byte(c)) return false;
    return c >= 0x80 || !CharInSet(static_cast<char>(c), alertSet);
}

bool AcceptBatteryDateChar(char32_t c)
{
    return c < 32 || (c >= '0' && c <= '9');
}

std::optional<std::string> AutoSlash(const std::string& utf8Text)
{
    const std::size_t count = CharacterCount(utf8Text);
    if (count != 2 && count != 5) return std::nullopt;
    return utf8Text + kDateSeparator;
}

bool BackspaceRemovesSlash(const std::string& utf8Text)
{
    return !utf8Text.empty() && utf8Text.back() == kDateSeparator;
}

SaveOutcome PrepareSaveName(const std::string& utf8Text, ChangeRequestTexts& out)
{
    return PrepareText(utf8Text, kNameLength, cmd::kName, out);
}

SaveOutcome PrepareSaveSerial(const std::string& utf8Text, ChangeRequestTexts& out)
{
    return PrepareText(utf8Text, kSerialLength, cmd::kSerial, out);
}

SaveOutcome PrepareSaveMadeDate(const std::string& utf8Text, ChangeRequestTexts& out)
{
    return PrepareDate(utf8Text, cmd::kMadeDate, out);
}

SaveOutcome PrepareSaveBatteryDate(const std::string& utf8Text, ChangeRequestTexts& out)
{
    return PrepareDate(utf8Text, cmd::kBatteryDate, out);
}

SaveOutcome PrepareSaveRegister0(const std::string& utf8Text, ChangeRequestTexts& out)
{
    if (!IsRegisterValue(utf8Text)) return SaveOutcome::Flash;
    out = {cmd::kRegister0, utf8Text};  // sent as typed; the writer reads either case
    return SaveOutcome::Request;
}

}  // namespace tornavel
