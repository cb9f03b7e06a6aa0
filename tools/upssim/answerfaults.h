#pragma once

#include "faults.h"

#include <random>
#include <string>

namespace upssim {

// What --drop and --garbage-in do to the answers of one port.
class AnswerFaults {
public:
    AnswerFaults(const Faults& faults, std::mt19937& random) : faults_(faults), random_(random) {}

    // False when this answer is lost; otherwise garbage may have been put into it.
    bool Pass(std::string& answer);

private:
    void InsertGarbage(std::string& answer);

    Faults faults_;
    std::mt19937& random_;
    unsigned answers_ = 0;
};

}  // namespace upssim
