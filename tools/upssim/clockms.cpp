#include "clockms.h"

#include <chrono>

namespace upssim {

namespace {
const auto started = std::chrono::steady_clock::now();
}

double NowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}

}  // namespace upssim
