#pragma once
#include <cstdio>

#include "app/monitoroptions.h"

namespace tornavel::service {

// --check: what the monitor would do with these options, one line each, and
// whether it could: each unit's device file exists, the event program is an
// executable file, the text file's directory exists. Nothing is opened, no
// unit is spoken to and no address is listened on (a running monitor may
// hold it). Returns the exit status: 0, or 2 after a line for each problem.
int CheckSetup(const MonitorOptions& options, std::FILE* out, std::FILE* err);

}  // namespace tornavel::service
