#include "answerfaults.h"

#include <cstring>

namespace upssim {

namespace {

// Garbage that cannot be read as an alert, a line end or part of "OK"/"NO".
const std::string& GarbageAlphabet()
{
    static const std::string alphabet = [] {
        std::string bytes;
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            if (c == '\r' || c == '\n') continue;
            if (c != '\0' && std::strchr("!$%+?=*#|OKN", c)) continue;
            bytes += c;
        }
        return bytes;
    }();
    return alphabet;
}

}  // namespace

bool AnswerFaults::Pass(std::string& answer)
{
    ++answers_;
    if (faults_.dropEvery && answers_ % faults_.dropEvery == 0) return false;
    if (faults_.garbageIn) InsertGarbage(answer);
    return true;
}

// One to three garbage bytes in front of the answer or inside its text,
// never inside its line end and never inside an acknowledgement.
void AnswerFaults::InsertGarbage(std::string& answer)
{
    const std::string& alphabet = GarbageAlphabet();
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> count(1, 3);
    std::string garbage;
    for (int i = count(random_); i > 0; --i) garbage += alphabet[pick(random_)];

    size_t textEnd = answer.size();
    if (textEnd >= 2 && answer.compare(textEnd - 2, 2, "\r\n") == 0) textEnd -= 2;
    const bool acknowledgement = answer == "OK\r\n" || answer == "NO\r\n";
    const size_t at = acknowledgement ? 0 : std::uniform_int_distribution<size_t>(0, textEnd)(random_);
    answer.insert(at, garbage);
}

}  // namespace upssim
