// tornavel-kill-power DEVICE SERIAL: the last word to a unit at the very end
// of a shutdown that the monitor decided. Run by the systemd-shutdown hook,
// with the filesystems already read-only. It tells the unit to turn its
// output off after its grace delay and to turn it on again once the mains
// are back, so the host comes back by itself.
//
// Only to the unit the decision names: "Y" must be answered "SM" and "n" the
// serial number recorded with the decision, as a USB adapter may have come
// back under another name with another unit behind it. UUCP lock files are
// not looked at: this late every program is gone, and /run/lock is writable
// by everyone, so a stray lock must not keep the unit from powering off.
//
// "@001" rather than "S": "S" is honoured only on battery, so a host whose
// mains came back during its shutdown would stay off; "@" works on line too.
// A tenth of an hour keeps the output off long enough for every power supply
// to notice the cut.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "clock.h"
#include "protocol/upsline.h"
#include "serial/posixport.h"

using namespace tornavel;

namespace {

const Bytes kSmartMode = "Y";
const Bytes kSmartModeAnswer = "SM";
const Bytes kSerialNumber = "n";
const Bytes kPowerOffAndReturn = "@001";

// An answer without its line end and the blanks around it.
Bytes Trimmed(const Bytes& answer)
{
    const auto first = answer.find_first_not_of(" \r\n");
    if (first == Bytes::npos) return {};
    return answer.substr(first, answer.find_last_not_of(" \r\n") - first + 1);
}

// Printable, for a log line: the unit's bytes escaped.
std::string Shown(const Bytes& bytes)
{
    std::string out;
    for (const unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// To the kernel's log, which is all that is left this late in a shutdown;
// to standard error where it cannot be written.
void Log(const std::string& text)
{
    const std::string line = "<5>tornavel-kill-power: " + text + "\n";
    const int kmsg = ::open("/dev/kmsg", O_WRONLY | O_CLOEXEC);
    if (kmsg >= 0 && ::write(kmsg, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
        ::close(kmsg);
        return;
    }
    if (kmsg >= 0) ::close(kmsg);
    std::fputs(line.c_str() + 3, stderr);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || argv[1][0] == '-') {
        std::fputs("Usage: tornavel-kill-power DEVICE SERIAL\n", stderr);
        return 2;
    }
    const std::string device = argv[1];
    const Bytes serial = Trimmed(argv[2]);
    if (serial.empty()) {
        Log(device + ": the decision names no serial number, so the unit cannot be told from another; nothing sent");
        return 1;
    }
    SteadyClock clock;
    DevicePathOpener opener(device, kNoLockFiles);
    ComPort port(opener, clock);
    const PortHandle handle = OpenUpsPort(port, 0);
    if (!handle) {
        Log(device + ": cannot open the port (absent, held open by a program or not permitted); nothing sent");
        return 1;
    }
    // Every step that goes wrong ends it, with the port closed and the reason logged.
    const auto refuse = [&](const std::string& why) {
        Log(device + ": " + why + "; nothing more sent");
        port.ClosePort(handle);
        return 1;
    };
    Bytes smart;
    const bool answered = port.Transact(handle, kSmartMode, smart);
    Log(device + ": sent \"Y\", answer \"" + (answered ? Shown(smart) : "") + "\"");
    if (!answered || Trimmed(smart) != kSmartModeAnswer) return refuse("not a Smart-UPS in smart mode");
    Bytes number;
    const bool told = port.Transact(handle, kSerialNumber, number);
    if (!told || Trimmed(number) != serial)
        return refuse("serial number \"" + (told ? Shown(Trimmed(number)) : "") + "\", the decision names \"" +
                      Shown(serial) + "\": not the unit that decided");
    Bytes answer;
    const bool ordered = port.Transact(handle, kPowerOffAndReturn, answer);
    const bool taken = ordered && (answer.find("OK") != Bytes::npos || answer.find('*') != Bytes::npos);
    Log(device + ": serial number " + Shown(serial) + ", sent \"" + kPowerOffAndReturn + "\", answer \"" +
        (ordered ? Shown(answer) : "") + "\"" +
        (taken ? "; the output goes off after the unit's grace delay" : "; not taken"));
    port.ClosePort(handle);
    return taken ? 0 : 1;
}
