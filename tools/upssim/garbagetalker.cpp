#include "garbagetalker.h"

GarbageTalker::GarbageTalker(Line& line, std::mt19937& random, double now) : line_(line), random_(random)
{
    scheduleChatter(now);
}

void GarbageTalker::receive(unsigned char, double)
{
    line_.answer(burst());
}

std::string GarbageTalker::burst()
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

void GarbageTalker::scheduleChatter(double now)
{
    std::uniform_real_distribution<double> pause(1000.0, 5000.0);
    timers_.at(now + pause(random_), [this](double when) {
        line_.alert(burst());
        scheduleChatter(when);
    });
}
