// tornavelctl as a whole program against the simulator: every kind of change
// with the bytes the window's change writer sends, the read-back deciding
// the exit status, a value the unit does not offer, a pulled cable, backup
// and apply with its dry run and its second run, and bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <regex>

#include "ctl_process.h"
#include "serial/posixport.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::CtlRun;
using testing::RunCtl;
using testing::UpssimProcess;

const std::string kHandshake = "Y";
// The thirty commands of the full read, in order.
const std::string kFullRead = std::string("\x01") + "cnmQP>xBgCjfkEsoluNMLOF970~'8";
const std::string kLeave = "R";

// What a port receives from a run that connects, makes `change` and leaves.
std::string Session(const std::string& change)
{
    return kHandshake + kFullRead + change + kLeave;
}

std::string Zeros(std::size_t n)
{
    return std::string(n, '\0');
}

std::string Visible(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) text += c >= 0x20 && c < 0x7F ? std::string(1, char(c)) : "\\x" + std::to_string(c);
    return text;
}

struct ChangeRow {
    const char* port;
    std::vector<std::string> args;
    std::string traffic;  // everything the port receives
    int status;
    const char* output;  // a pattern the output holds
};

// Each kind of change on its own simulated unit, all at once: the bytes on
// the line are those of the window's change writer, and the read-back
// decides the exit status; tests go out as the window's test buttons send them.
TEST(CtlWithSimulator, EachKindOfChangeSendsTheWindowsBytesAndIsJudgedByItsReadBack)
{
    UpssimProcess sim({"--steady", "--pull-after", "com8:36", "com1=ups", "com2=ups", "com3=ups", "com4=ups",
                       "com5=ups", "com6=ups", "com7=ups", "com8=ups", "com9=ups", "com10=ups", "com11=ups"});
    sim.event("com7 set c FOO");
    ASSERT_TRUE(sim.waitForLog("com7 * event"));
    const std::vector<ChangeRow> rows = {
        {"com1", {"set", "COM1", "alarm-delay", "T"}, Session("k+k"), 0, R"(changed from "0" to "T")"},
        {"com2", {"set", "COM2", "name", "ab"}, Session("c+ab" + Zeros(6) + "c"), 0, R"(to "ab")"},
        {"com3", {"set", "COM3", "battery-date", "01/12/26"}, Session("x+01/12/26x"), 0, R"(to "01/12/26")"},
        {"com4", {"set", "COM4", "manufacture-date", "02/03/04"}, Session("11m+02/03/04RYm"), 0, R"(to "02/03/04")"},
        {"com5", {"set", "COM5", "register0", "a2", "--yes"}, Session("110+0+RY0"), 0, R"(from "A0" to "A2")"},
        // One round of H, M, L and the unit stands where it started.
        {"com6", {"set", "COM6", "sensitivity", "X"}, Session("s+ss+ss+s"), 1, R"(offers "H", "M", "L" \(back at "H")"},
        // A value the unit shows already is not sent.
        {"com9", {"set", "COM9", "sensitivity", "h"}, Session(""), 0, R"(already "H", nothing sent)"},
        {"com7", {"set", "COM7", "name", "ab"}, Session("c+ab" + Zeros(6) + "c"), 1, R"(reads back "FOO")"},
        // The cable goes at the third character of the name.
        {"com8", {"set", "COM8", "name", "abcdefgh"}, kHandshake + kFullRead + "c+abc", 1, "may be half written"},
        // A test goes out first in a monitoring cycle, as the window's does.
        {"com10", {"test", "COM10", "indicator"}, Session("ABQPfLO"), 0, "indicator: accepted; status now 08"},
        // "D" starts a calibration as well as stopping one: not sent unless one runs.
        {"com11", {"test", "COM11", "stop-calibration", "--yes"}, Session(""), 1, "no calibration is running"},
    };
    std::vector<std::future<CtlRun>> runs;
    for (const ChangeRow& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), {"--ports", sim.ports()});
        runs.push_back(std::async(std::launch::async, [args] { return RunCtl(args); }));
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const CtlRun run = runs[i].get();
        SCOPED_TRACE(rows[i].port);
        EXPECT_EQ(run.status, rows[i].status) << run.out << run.err;
        EXPECT_TRUE(std::regex_search(run.out + run.err, std::regex(rows[i].output))) << run.out << run.err;
        EXPECT_EQ(Visible(sim.received(rows[i].port)), Visible(rows[i].traffic));
    }
}

struct TempFile {
    explicit TempFile(const std::string& text)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ctl-test-XXXXXX").string();
        const int fd = ::mkstemp(pattern.data());
        ::close(fd);
        path = pattern;
        std::ofstream(path) << text;
    }
    ~TempFile() { std::filesystem::remove(path); }
    std::string path;
};

// A backup holds the shared settings under its version; applying a file
// prints the plan, a dry run sends no change, the real run changes only what
// differs, and a second run finds nothing to change.
TEST(CtlWithSimulator, BackupThenApplyWithDryRunAndASecondRunThatChangesNothing)
{
    UpssimProcess sim({"--steady", "com1=ups", "com2=ups2"});
    const std::vector<std::string> ports = {"--ports", sim.ports()};
    TempFile backup("");
    auto backupRun = std::async(std::launch::async, [&] {
        std::vector<std::string> args = ports;
        args.insert(args.end(), {"backup", "COM1", backup.path});
        return RunCtl(args);
    });

    // ups2 has alarm delay "T" (two steps from "N") and its own battery date.
    TempFile file("tornavel-settings: 1\nalarm-delay: \"N\"\nsensitivity: M\nbattery-date: \"01/12/26\"\n");
    const auto apply = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = ports;
        args.insert(args.end(), {"apply", file.path, "COM2"});
        args.insert(args.end(), extra.begin(), extra.end());
        const std::size_t before = sim.received("com2").size();
        CtlRun run = RunCtl(args);
        return std::pair{run, sim.received("com2").substr(before)};
    };

    const auto [dry, dryTraffic] = apply({"--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(Visible(dryTraffic), Visible(Session("")));
    EXPECT_NE(dry.out.find("2 changes"), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find(R"(alarm-delay: "T" -> "N")"), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find(R"(battery-date: "04/11/03" -> "01/12/26")"), std::string::npos) << dry.out;

    const auto [real, realTraffic] = apply({});
    EXPECT_EQ(real.status, 0) << real.out << real.err;
    EXPECT_EQ(Visible(realTraffic), Visible(Session("k+kk+k"
                                                    "x+01/12/26x")));
    EXPECT_NE(real.out.find(R"(changed from "T" to "N" in 2 steps)"), std::string::npos) << real.out;

    const auto [again, againTraffic] = apply({"--json"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Visible(againTraffic), Visible(Session("")));
    EXPECT_NE(again.out.find(R"("units": [{"port": "COM2", "device": ")"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find(R"("route": "port", "reached": true, "error": null, "settings": []}])"), std::string::npos)
        << again.out;

    const CtlRun saved = backupRun.get();
    EXPECT_EQ(saved.status, 0) << saved.err;
    std::ifstream written(backup.path);
    const std::string text((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    for (const char* line : {"\ntornavel-settings: 1\n", "\nalarm-delay: \"0\"\n", "\nself-test-interval: \"336\"\n",
                             "\nsensitivity: \"H\"\n", "\noutput-on-battery: \"230\"\n", "\nlow-transfer: \"196\"\n",
                             "\nhigh-transfer: \"253\"\n", "\nbattery-date: \"14/06/11\"\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}

struct BadInputRow {
    std::vector<std::string> args;
    int status;
    const char* message;  // a pattern standard error holds
};

// Each is refused with its message before anything is written; a unit that
// is not a Smart-UPS, or is not there, is a unit failure.
TEST(CtlWithSimulator, BadInputIsRefusedWithAMessageAndNothingWritten)
{
    UpssimProcess sim({"--steady", "com1=ups", "com3=silent", "com4=modem"});
    TempFile unknownKey("tornavel-settings: 1\nalarm-delay: T\ncolour: red\n");
    TempFile otherVersion("tornavel-settings: 2\nalarm-delay: T\n");
    TempFile good("tornavel-settings: 1\nalarm-delay: T\n");
    const std::vector<BadInputRow> rows = {
        {{"set", "COM1", "colour", "red"}, 2, R"(unknown setting "colour")"},
        {{"set", "COM1", "sensitivity"}, 2, "SETTING VALUE pairs"},
        {{"set", "COM1", "battery-date", "31/04/05"}, 2, "not a date the calendar has"},
        {{"set", "COM1", "manufacture-date", "2026-12-01"}, 2, "not a date of the form dd/mm/yy"},
        {{"set", "COM1", "name", "ninechars"}, 2, "too long: at most 8"},
        {{"set", "COM1", "name", "ups!"}, 2, "cannot store"},
        {{"set", "COM1", "name",
          "\xC3\x9C"
          "ber"},
         2,
         "cannot store"},  // U with umlaut: not in Windows-1251
        {{"set", "COM1", "register0", "B0"}, 2, "needs --yes"},
        {{"set", "COM1", "register0", "G0", "--yes"}, 2, "not a register value"},
        {{"apply", unknownKey.path, "COM1"}, 2, R"(:3: unknown setting "colour")"},
        {{"apply", otherVersion.path, "COM1"}, 2, "of version 2"},
        {{"apply", good.path, "COM1", sim.port("com1")}, 2, "named twice"},
        {{"test", "COM1", "calibrate"}, 2, "needs --yes"},
        {{"show", "COM17"}, 2, "not a port"},
        {{"frobnicate", "COM1"}, 2, "unknown command"},
        {{"show", "COM3"}, 1, R"(COM3: no Smart-UPS answers)"},
        {{"show", "COM4"}, 1, R"(COM4: no Smart-UPS answers)"},
        {{"show", "COM9"}, 1, "COM9: cannot open"},
    };
    for (const BadInputRow& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), {"--ports", sim.ports()});
        const CtlRun run = RunCtl(args);
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        EXPECT_EQ(run.status, row.status) << run.out << run.err;
        EXPECT_TRUE(std::regex_search(run.err, std::regex(row.message))) << run.err;
    }
    EXPECT_EQ(sim.received("com1"), "");
}

// A port another program holds is named with its holder; nothing reaches it.
TEST(CtlWithSimulator, APortHeldByAnotherProgramNamesIt)
{
    UpssimProcess sim({"--steady", "com1=ups"});
    const auto held = OpenSerialDevice(sim.port("com1"), kUucpLockDir);
    ASSERT_NE(held, nullptr);
    const CtlRun run = RunCtl({"--ports", sim.ports(), "show", "COM1"});
    EXPECT_EQ(run.status, 1);
    if (::geteuid() == 0) {  // only root may write the lock file that names the holder
        EXPECT_NE(run.err.find("is held by system_tests (pid " + std::to_string(::getpid()) + ")"), std::string::npos)
            << run.err;
    }
    EXPECT_EQ(sim.received("com1"), "");
}

}  // namespace
}  // namespace tornavel

namespace tornavel {
namespace {

// The diagnosis reads the line settings back, times and escapes every
// answer of the handshake and the full read, names what is unusual, and
// changes nothing on the unit.
TEST(CtlWithSimulator, DiagnoseReportsTheLineAndEveryAnswerAndChangesNothing)
{
    UpssimProcess sim({"--steady", "--drop", "com3:3", "com1=ups", "com2=silent", "com3=ups"});
    TempFile report("");
    const auto diagnose = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--ports", sim.ports(), "diagnose"});
        return std::async(std::launch::async, [args] { return RunCtl(args); });
    };
    auto good = diagnose({"COM1", "--out", report.path});
    auto silent = diagnose({"COM2"});
    auto dropping = diagnose({"COM3"});

    const CtlRun run = good.get();
    EXPECT_EQ(run.status, 0) << run.err;
    std::ifstream file(report.path);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    for (const char* part :
         {"line after the open: 2400 baud, 8 data bits, parity none, 1 stop bit\n", "handshake: \"Y\" answered \"SM\"",
          "\n  \"Y\"     \"SM\\r\\n\" ", "\n  \"\\x01\"  \"Smart-UPS 1000\\r\\n\" ", "\n  \"R\"     \"BYE\\r\\n\" ",
          "\nunusual:\n  nothing\n"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
    EXPECT_EQ(Visible(sim.received("com1")), Visible(Session("")));

    const CtlRun quiet = silent.get();
    EXPECT_EQ(quiet.status, 1);
    EXPECT_NE(quiet.out.find("\"Y\": no answer"), std::string::npos) << quiet.out;

    const CtlRun dropped = dropping.get();
    EXPECT_EQ(dropped.status, 0) << dropped.err;
    EXPECT_NE(dropped.out.find("\nunusual:\n  \"c\": no answer\n"), std::string::npos) << dropped.out;
}

}  // namespace
}  // namespace tornavel
