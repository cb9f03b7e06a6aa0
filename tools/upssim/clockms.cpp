#include "clockms.h"

#include <chrono>

namespace {
const auto started = std::chrono::steady_clock::now();
}

double nowMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
}
