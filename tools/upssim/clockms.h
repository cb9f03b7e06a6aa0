#pragma once

namespace upssim {

// Milliseconds since the simulator started (monotonic). Every time stamp,
// delay and timer in the simulator uses this one scale.
double NowMs();

}  // namespace upssim
