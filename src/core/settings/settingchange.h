#pragma once
#include <optional>
#include <string>
#include <vector>

#include "bytes.h"
#include "settings/fieldrules.h"
#include "settings/namedsettings.h"

namespace tornavel {

// One change request carried out as the window's page has it carried out:
// handed to the change writer, performed on the line, completed. Gives the
// read-back after the alert filter (empty when the unit did not answer), or
// nullopt when the writer could not finish the request (programming mode not
// entered or not left, or the unit unreachable).
class ChangePath {
public:
    virtual ~ChangePath() = default;
    virtual std::optional<Bytes> Perform(const ChangeRequestTexts& request) = 0;
    // True when no further request may start (the program was asked to
    // end): a request under way is finished, the next is not begun.
    virtual bool Stopped() { return false; }
};

// How bringing a setting to a value ended.
struct SettingOutcome {
    enum class Status {
        Unchanged,    // the unit already showed the value: nothing sent
        Changed,      // the read-back shows the value
        NotTaken,     // the read-back shows another value
        NotOffered,   // stepping went round the unit's whole list without meeting it
        NoAnswer,     // no read-back: the change may be half done
        Unconfirmed,  // the writer could not finish: programming mode failed
        Stopped,      // the path stopped before the value was reached; `after` is what the unit holds
    };
    Status status = Status::Unchanged;
    Bytes before;                // the value the unit showed first
    Bytes after;                 // the last read-back
    int steps = 0;               // change requests performed
    std::vector<Bytes> offered;  // NotOffered: the unit's values, from `before` on

    bool Good() const { return status == Status::Unchanged || status == Status::Changed; }
};

// Brings one setting from `current` (the unit's stored answer) to `value`.
// A stepped setting takes one "+" request after another, each read back,
// until the read-back shows the value; when a read-back repeats an earlier
// one the unit has gone round its list, which does not hold the value, and
// it stands where it started. The other kinds take one request. No request
// starts once the path has stopped. The value must have passed
// RequestForValue.
SettingOutcome BringSetting(ChangePath& path, const NamedSetting& setting, const Bytes& current,
                            const std::string& value);

// One line for a person: "changed from 0 to T in 2 steps", "the unit offers 0, T, L, N".
std::string DescribeOutcome(const SettingOutcome& outcome);

}  // namespace tornavel
