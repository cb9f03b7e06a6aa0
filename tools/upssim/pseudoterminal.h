#pragma once

#include <optional>
#include <string>

namespace upssim {

// The pseudo-terminal plumbing under a simulated port.
struct PseudoTerminal {
    int master;
    std::string slavePath;
};

// A new pseudo-terminal: master non-blocking, slave in raw 2400-baud mode so
// that no line discipline on our side echoes or edits. nullopt with error.
std::optional<PseudoTerminal> OpenPseudoTerminal(std::string& error);

// Points link at target in one step, replacing whatever link had that name.
bool LinkAtomically(const std::string& target, const std::string& link, std::string& error);

// Removes link if it still points at target.
void UnlinkIfPointsTo(const std::string& link, const std::string& target);

// Whether anybody holds the slave open: without a holder the master reports a hang-up.
bool SlaveHeld(int master);

// Empties the slave's input queue and, if asked, lifts its exclusive-use
// mark (TIOCEXCL), which a pseudo-terminal keeps after its holder closes it.
// False when the slave cannot be opened (the mark keeps us out).
bool ClearSlave(const std::string& slavePath, bool liftExclusive);

}  // namespace upssim
