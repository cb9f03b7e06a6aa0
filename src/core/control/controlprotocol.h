#pragma once
#include <optional>
#include <string>
#include <vector>

#include "bytes.h"
#include "settings/settingchange.h"

namespace tornavel::control {

// The local control socket between tornavelctl and tornavel-monitor: one
// request per connection, in lines of at most kMaxLine bytes.
//   client: "tornavel-control 2"                 the protocol and its version
//   client: "read PORT DEVICE" | "change PORT DEVICE SETTING VALUE"
//           | "test PORT DEVICE CMD" | "cancel-shutdown"
//   server: zero or more result lines, then "ok" or "error MESSAGE"
// DEVICE is the absolute path of the device file the client means: the
// monitor serves the unit it watches on that device file, whatever it calls
// it, and refuses a request whose PORT it watches on another device.
// Result lines: "slot N TEXT" for read (slots 1..30), "outcome STATUS STEPS
// BEFORE AFTER OFFERED..." for change, "test ACK STATUS" for test,
// "cancelled PORT" for each unit whose shutdown decision was withdrawn. Words are
// separated by one blank; unit texts and values are escaped (Escape), so a
// word never holds a blank, a line end or a byte outside printable ASCII.
inline const std::string kGreeting = "tornavel-control 2";
inline constexpr std::size_t kMaxLine = 1024;
inline const std::string kOk = "ok";
inline const std::string kError = "error";
// The first word of the error for a port this monitor does not watch: the
// client may then open the port itself.
inline const std::string kNotHeld = "not-held";
// The first word of the error for a PORT the monitor watches on another
// device file than the request's: the client's unit is not the monitor's.
inline const std::string kOtherDevice = "other-device";
// Withdraws the host protection decisions the monitor has recorded.
inline const std::string kCancelShutdown = "cancel-shutdown";
inline const std::string kCancelled = "cancelled";

// Percent-escapes everything but printable ASCII other than '%'; the empty
// text is "%". Unescape gives nullopt for a malformed word.
std::string Escape(const Bytes& text);
std::optional<Bytes> Unescape(const std::string& word);

std::vector<std::string> SplitWords(const std::string& line);

// An outcome as one result line, and back.
std::string OutcomeLine(const SettingOutcome& outcome);
std::optional<SettingOutcome> ParseOutcomeLine(const std::string& line);

// The test commands the socket takes: the window's test buttons and the
// calibration, nothing else.
bool IsTestCommand(const Bytes& command);

}  // namespace tornavel::control
