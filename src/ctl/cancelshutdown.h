#pragma once
#include <ostream>
#include <string>
#include <vector>

namespace tornavel::ctl {

// tornavelctl cancel-shutdown, for root: calls off a host protection
// shutdown, in this order so that nothing starts it again:
//  1. tornavel-monitor withdraws its decision through the control socket
//     (with no monitor running, its decision file is renamed here, as the
//     monitor would);
//  2. tornavel-shutdown.service is stopped (its wait ends there);
//  3. the armed kill-power and the once-per-boot mark in the run directory
//     are removed, so a later power-off leaves the unit alone and a later
//     decision is carried out.
// A monitor that answers with an error stops it after step 1: stopping the
// service while the decision stands would only have it started again.
// `withdrawn` gets the ports whose decision the monitor withdrew.
// TORNAVEL_STATE_DIR and TORNAVEL_RUN_DIR replace the directories for tests.
int CancelShutdown(const std::string& socketPath, std::ostream& out, std::ostream& err,
                   std::vector<std::string>& withdrawn);

}  // namespace tornavel::ctl
