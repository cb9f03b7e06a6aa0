#include "protocol/upsline.h"

namespace tornavel {

namespace {
constexpr std::uint32_t kUpsBaud = 2400;
constexpr std::uint8_t kUpsDataBits = 8;
constexpr char kUpsParity = 'N';
const Bytes kUpsStopBits = "1";
}  // namespace

PortHandle OpenUpsPort(ComPort& port, int number)
{
    return port.OpenPort(number, kUpsBaud, kUpsDataBits, kUpsParity, kUpsStopBits);
}

}  // namespace tornavel
