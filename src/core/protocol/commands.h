#pragma once
#include "bytes.h"

namespace tornavel::cmd {

// Everything the program sends to the UPS, and the few answers it relies on.
// Every command is one byte; the answer is one text line ending in CR LF.
inline const Bytes kSmartMode = "Y";   // answered "SM"
inline const Bytes kLeaveSmart = "R";  // answered "BYE"
inline const Bytes kModel = "\x01";    // Ctrl+A
inline const Bytes kName = "c";
inline const Bytes kSerial = "n";
inline const Bytes kMadeDate = "m";
inline const Bytes kStatus = "Q";
inline const Bytes kLoad = "P";
inline const Bytes kBatteryCount = ">";
inline const Bytes kBatteryDate = "x";
inline const Bytes kBatteryVolts = "B";
inline const Bytes kNominalVolts = "g";
inline const Bytes kTemperature = "C";
inline const Bytes kRuntime = "j";
inline const Bytes kCharge = "f";
inline const Bytes kAlarmDelay = "k";
inline const Bytes kSelfTestInterval = "E";
inline const Bytes kSensitivity = "s";
inline const Bytes kOutputSetting = "o";
inline const Bytes kLowTransfer = "l";
inline const Bytes kHighTransfer = "u";
inline const Bytes kMinLine = "N";
inline const Bytes kMaxLine = "M";
inline const Bytes kInputVolts = "L";
inline const Bytes kOutputVolts = "O";
inline const Bytes kFrequency = "F";
inline const Bytes kLineQuality = "9";
inline const Bytes kSeven = "7";
inline const Bytes kRegister0 = "0";
inline const Bytes kRegister1 = "~";
inline const Bytes kRegister2 = "'";
inline const Bytes kRegister3 = "8";
// Not in the full read: read after it by the monitor and tornavelctl.
inline const Bytes kGraceDelay = "p";         // seconds from a shutdown command to the output going off
inline const Bytes kReturnCharge = "e";       // charge needed before the load is powered again
inline const Bytes kWakeupDelay = "r";        // seconds after the mains return before the output comes on
inline const Bytes kLowBatteryWarning = "q";  // minutes of runtime left when low battery is signalled
inline const Bytes kSelfTestResult = "X";     // "OK", "BT", "NG", "NO"
inline const Bytes kTransferCause = "G";      // "R", "H", "L", "T", "O", "S", "NA"

// The unit's own tests and the runtime calibration (answered "OK"/"NO").
inline const Bytes kTestIndicators = "A";
inline const Bytes kTestBattery = "W";
inline const Bytes kTestMainsFailure = "U";
inline const Bytes kCalibration = "D";

// Stepping a setting or register, and starting a text field's write.
inline const Bytes kStepUp = "+";
inline const Bytes kStepDown = "-";
// Sent twice, 2000 ms apart, to enter programming mode (answered "PROG").
inline const Bytes kProgrammingMode = "1";

// The modem probe of the scan: a Hayes modem echoes it and answers OK.
inline const Bytes kModemProbe = "atz\r\n";

namespace answer {
inline const Bytes kSmartMode = "SM";
inline const Bytes kProgrammingMode = "PROG";
inline const Bytes kBye = "BYE";
inline const Bytes kModemEcho = "Y";
inline const Bytes kModem = "atz\r\r\nok\r\n";  // compared in lower case
}  // namespace answer

}  // namespace tornavel::cmd
