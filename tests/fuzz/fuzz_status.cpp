// Status decoding and the two gauges on any answer: the status text is the
// answer (with the on-line note only for "08"), the icons follow the bits of
// a one- or two-digit hex answer read by strtol and stay untouched
// otherwise, and the gauges show the answer's leading number within 0..100.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/fakes.h"
#include "fuzz_check.h"
#include "statusdisplay.h"
#include "text/cp1251.h"

using tornavel::Bytes;

namespace {

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void CheckStatus(const Bytes& status)
{
    tornavel::testing::RecordingScreen screen;
    const std::string text = tornavel::MakeStatus(screen, status);
    FUZZ_CHECK(text == tornavel::Cp1251ToUtf8(status) + (status == "08" ? " (в сети)" : ""));

    const bool hex = !status.empty() && std::all_of(status.begin(), status.end(), IsHex);
    if (!hex) {
        FUZZ_CHECK(screen.Calls().empty());
        return;
    }
    const long bits = status.size() <= 2 ? std::strtol(status.c_str(), nullptr, 16) : 0;
    const bool calibrating = bits & 1;
    std::vector<std::string> expected = {
        std::string(calibrating ? "show" : "hide") + " ImageKA",
        std::string("text BitBtnKA=") + (calibrating ? "прервать калибровку" : "калибровкa"),
    };
    for (int n = 0; n < 8; ++n) {
        const std::string number = std::to_string(n);
        expected.push_back("picture ImageST" + number + "=ImageS" + number + (bits >> n & 1 ? "" : "x"));
    }
    FUZZ_CHECK(screen.Calls() == expected);
}

// The leading number of an answer as the gauges read it, by strtoull.
int GaugeValue(const Bytes& answer)
{
    std::size_t begin = 0;
    while (begin < answer.size() && static_cast<unsigned char>(answer[begin]) <= 32) ++begin;
    std::size_t end = begin;
    while (end < answer.size() && answer[end] >= '0' && answer[end] <= '9') ++end;
    const unsigned long long value = std::strtoull(answer.substr(begin, end - begin).c_str(), nullptr, 10);
    return static_cast<int>(std::min<unsigned long long>(value, 100));
}

std::string Hex(std::uint32_t rgb)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%06X", rgb);
    return buffer;
}

void CheckGauges(const Bytes& answer)
{
    const int v = GaugeValue(answer);
    const std::string value = std::to_string(v);
    constexpr std::uint32_t green = 0x50C040, yellow = 0xE0E000, red = 0xFF8070;

    tornavel::testing::RecordingScreen batt;
    tornavel::SetBatt(batt, answer);
    FUZZ_CHECK(batt.Calls() == (std::vector<std::string>{"value BATT=" + value, "text LabelCharge=" + value + "%",
                                                         "color BATT=" + Hex(v > 70   ? green
                                                                             : v > 30 ? yellow
                                                                                      : red)}));

    tornavel::testing::RecordingScreen load;
    tornavel::SetLoad(load, answer);
    FUZZ_CHECK(load.Calls() == (std::vector<std::string>{"value LOAD=" + value, "text LabelLOAD=" + value + "%",
                                                         "color LOAD=" + Hex(v > 80   ? red
                                                                             : v > 40 ? yellow
                                                                                      : green)}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Bytes answer(reinterpret_cast<const char*>(data), size);
    CheckStatus(answer);
    CheckGauges(answer);
    return 0;
}
