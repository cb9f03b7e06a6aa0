#include "options.h"

namespace upssim {

const char* HelpText()
{
    return R"HELP(Usage: upssim --dir DIR [--log FILE] [--seed N] [--steady] [fault options] comN=KIND ...

Simulates devices on serial ports. For each comN=KIND it creates a
pseudo-terminal and the link DIR/comN to its slave (/dev/pts/N), prints
"comN -> /dev/pts/N (KIND)" and, once all are made, "ready". It runs until
SIGTERM, SIGINT or SIGHUP, then removes its links and exits with 0 (1 when
the ports cannot be made, 2 for a wrong command line). A link already there
under the same name is replaced. Point the program at the ports with:
tornavel --ports DIR

Options:
  --dir DIR             directory for the links (created if missing; required)
  --log FILE            byte log, see below (the file is truncated at start)
  --seed N              seed for drift and garbage, for repeatable runs
  --steady              measured values do not drift (on battery the input
                        still reads 000.0)
Battery and output (every UPS port), so an outage runs to its end in seconds:
  --drain PCT           charge lost per second on battery (default 0.1)
  --low-runtime MIN     the battery-low flag and its alerts follow the runtime:
                        set on battery below MIN minutes (default: by event only)
  --grace SEC           from "S" or "@NNN" to the output going off (default 20)
  --tenth-hour SEC      the length of "@NNN"'s tenths of an hour (default 360)
"S" (on battery only), "@NNN" and DEL (cancels) are reported on standard
output as "comN: output off" and "comN: output on".
  --help                this text
  --version             the version
Fault options (UPS ports only; without "comN:" they apply to every UPS port,
with it to that port, and a port's own setting wins):
  --delay [comN:]MS     answers start MS ms after their command byte (default 5)
  --drop [comN:]N       every Nth answer is not sent (alerts always are)
  --pull-after [comN:]N the cable is pulled when the Nth byte since the cable
                        went in arrives: that byte is logged but not answered,
                        the pseudo-terminal is closed and its link removed
                        (see "plug" below)
  --garbage-in[=comN]   one to three garbage bytes before every answer or inside
                        its text; never inside its CR LF, only before an
                        "OK"/"NO". Garbage bytes are NUL, 0x80-0xFF and the
                        other ASCII bytes except CR, LF, O, K, N and the alert
                        characters ! $ % + ? = * # |

Kinds:
  ups      Smart-UPS 1000, 230 V: name UPS_IDEN, serial QS0512345678, made
           12/03/05, battery replaced 14/06/11, status 08, register 0 A0
  ups2     Smart-UPS 700: name SRV_ROOM, serial NS9907654321, made 21/09/99,
           battery replaced 04/11/03, register 0 B0
  modem    echoes every byte but LF; a line holding "at" (any case) is answered
           CR LF "OK" CR LF when its CR arrives: "atz\r\n" -> "atz\r\r\nOK\r\n"
  silent   never sends anything
  garbage  answers every byte with 1 to 16 random bytes (never just "Y") and
           sends such bursts unasked every 1 to 5 s

The UPS: dumb until "Y" (answered "SM"): before it, and after "R" ("BYE"),
every byte but "Y" is ignored. In smart mode:
  Ctrl+A c n m Q P > x B g C j f k E s o l u N M L O F 9 7 0 ~ ' 8
                  their value and CR LF ("Q": status as two hex digits:
                  bit 0 calibration, 3 on line, 4 on battery, 5 overload,
                  6 battery low, 7 replace battery; "0 ~ ' 8": registers 0-3)
  X               the last self-test's result: "NO" (ups) or "OK" (ups2)
                  until a "W" test ends, "OK" after it
  G               the cause of the last transfer: "O" (ups) or "L" (ups2),
                  "S" after a "U"
  A               "OK" (indicator test)
  W               "OK", 2 s on battery without alerts; "NO" while on battery
  U               "OK" then "!", 3 s on battery, then "$"; "NO" if mains failed
  D               "OK"; starts the calibration (status bit 0) or stops it; it
                  stops by itself after 180 s
  k E s o l u p e r q then + or -
                  "OK": the setting moves one place along its cyclic list
                  (k: 0 T L N; E: 336 168 "ON " OFF; s: H M L;
                  o: 220 225 230 240; l: 188 196 204 208; u: 253 257 261 265;
                  grace delay p, return charge e, wake-up delay r and
                  low-battery warning q by kind: ups p 020 180 300 600,
                  e 00 01 02 03, r 000 060 180 300, q 02 05 07 10;
                  ups2 p 020 090 180 360, e 00 15 50, r 000 120 240,
                  q 02 05 08);
                  1 s later "|" (EEPROM written) follows unasked
  c x then +, then the characters
                  nothing to "+" or the characters; "OK" once 8 bytes are in.
                  The field holds the bytes written, zero bytes too; trailing
                  zero bytes are not sent back. A write left for 5 s is dropped.
  m n then +      the same inside programming mode ("n" takes 14 bytes);
                  outside it "+" is answered "NO" and nothing is written
  1, 1.5-4 s, 1   nothing to the first, "PROG" to the second: programming mode
  0 then + or -   in programming mode "0" selects register 0 and register 0
                  moves by one (00..FF wraps), nothing is answered to either;
                  outside it "0" reads the register and a step is answered "NO"
  Y               "SM";  R  "BYE" (leaves smart and programming mode)
  anything else   "NA"
Live values drift a little each second (input 229.3 V, load 23.4 %, ...); on
line the output reads a volt or so below the input; on battery the input
reads 000.0 and the charge falls, on line it recharges.
Closing the port returns the UPS to dumb mode.

Events, one per line on standard input (end of input stops the events only):
  comN mains-fail       "!", status on battery (bit 4 set, bit 3 clear)
  comN mains-ok         "$", back on line
  comN battery-low      "%", bit 6 set       comN battery-ok   "+", bit 6 clear
  comN replace-battery  "#", bit 7 set       comN battery-replaced  bit 7 clear
  comN overload         "?", bit 5 set, load about 112 %
  comN overload-end     "=", bit 5 clear
  comN shutdown         "*"
  comN set CMD TEXT     CMD (one byte, escapes allowed) is answered TEXT from
                        now on: any value command or byte otherwise answered
                        "NA" (not Y R 1 + - A W U D)
  comN unset CMD        CMD gets its own answer back
  (the events above are for ups and ups2 ports)
  comN send TEXT        sends TEXT; escapes \r \n \t \0 \\ \xHH
  comN silent on|off    the port neither answers nor sends while on
  comN delay MS         answers start MS ms after their command byte from now
                        on, as with --delay
  comN unplug           cable pulled: pseudo-terminal closed, link removed
  comN plug             cable back: a new pseudo-terminal and link (a new line
                        "comN -> /dev/pts/N (KIND)" is printed)
Empty lines and lines starting with # are skipped; a wrong line is reported on
standard error and ignored.

The line: output is paced at 2400 baud (4.17 ms a byte) and starts 5 ms after
the command byte (see --delay). Bytes are handled one at a time in arrival
order. Output is dropped while no program holds the port open, and when more
than 1024 bytes wait for the line; a byte the program's full input queue
cannot take is lost. When the program closes the port, what was still on its
way is dropped and the port is left as a real one: nothing kept, not exclusive.

Byte log (--log): one line per event, flushed at once:
  MS PORT DIR PAYLOAD
  MS       milliseconds since start, one decimal
  DIR <    one received byte, PAYLOAD its hex value:   1234.5 com1 < 59
  DIR >    an answer or alert as it starts on the line, its bytes in hex:
                                                       1240.1 com1 > 53 4D 0D 0A
  DIR x    an answer or alert dropped (no holder, silent, --drop, unplugged)
  DIR *    a note: plugged PATH, opened, closed, unplugged, cable pulled,
           event TEXT
)HELP";
}

}  // namespace upssim
