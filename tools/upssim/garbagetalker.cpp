#include "garbagetalker.h"

namespace upssim {

GarbageTalker::GarbageTalker(Line& line, std::mt19937& random, double now) : line_(line), random_(random)
{
    ScheduleChatter(now);
}

void GarbageTalker::Receive(unsigned char, double)
{
    line_.Answer(Burst());
}

std::string GarbageTalker::Burst()
{
    std::uniform_int_distribution<int> length(1, 16);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes;
    do {
        bytes.assign(length(random_), '\0');
        for (char& c : bytes) c = static_cast<char>(byte(random_));
    } while (bytes == "Y"); // an echo of "Y" would make the scan take it for a modem
    return bytes;
}

void GarbageTalker::ScheduleChatter(double now)
{
    std::uniform_real_distribution<double> pause(1000.0, 5000.0);
    timers_.At(now + pause(random_), [this](double when) {
        line_.Alert(Burst());
        ScheduleChatter(when);
    });
}

}  // namespace upssim
