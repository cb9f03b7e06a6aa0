#pragma once

#include "ptyport.h"

#include <memory>
#include <string>
#include <vector>

namespace upssim {

// Applies one line read from standard input ("com1 mains-fail"); empty lines
// and lines starting with "#" are skipped, complaints go to standard error.
void ApplyEvent(const std::string& line, std::vector<std::unique_ptr<PtyPort>>& ports, double now);

}  // namespace upssim
