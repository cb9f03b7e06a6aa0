#include "settings/calibration.h"

#include <cstdint>
#include <string>

#include "monitor/numbers.h"
#include "protocol/devicetable.h"
#include "text/procedures.h"

namespace tornavel {

namespace {

constexpr std::uint32_t kRecommendedRegister0 = 0xB0;
const Bytes kFullCharge = "100.0";
constexpr int kRecommendedLoad = 30;
constexpr std::size_t kLoadDigits = 3;

// A hex answer's value compared with the limit; leading zeros are skipped so
// that an over-long answer is not read wrapped around to a small number.
bool HexBelow(const Bytes& hex, std::uint32_t limit)
{
    const auto first = hex.find_first_not_of('0');
    if (first == Bytes::npos) return limit > 0;
    const Bytes digits = hex.substr(first);
    return digits.size() <= 2 && HexToInt(digits) < limit;
}

bool Register0Low(const Bytes& answer)
{
    return IsHexText(answer) && HexBelow(answer, kRecommendedRegister0);
}

bool LoadLow(const Bytes& answer)
{
    const Bytes head = answer.substr(0, kLoadDigits);
    return head.size() == kLoadDigits && IsDigits(head) && std::stoi(head) < kRecommendedLoad;
}

}  // namespace

std::vector<std::string> CalibrationWarnings(const DeviceTable& table)
{
    std::vector<std::string> warnings;
    if (Register0Low(table.Slot(kSlotRegister0))) warnings.push_back("• значение регистра 0 меньше рекомендуемого");
    if (table.Slot(kSlotCharge) != kFullCharge) warnings.push_back("• батареи не полностью заряжены");
    if (LoadLow(table.Slot(kSlotLoad))) warnings.push_back("• нагрузка меньше рекомендуемого значения");
    return warnings;
}

}  // namespace tornavel
