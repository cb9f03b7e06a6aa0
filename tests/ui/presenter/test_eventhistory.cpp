// The history of events: its file format, bound and rotation, what survives
// a torn or foreign line, and the texts of what happens to a unit.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fakes.h"
#include "history/eventhistory.h"
#include "history/unitevents.h"
#include "session.h"

namespace tornavel {
namespace {

namespace fs = std::filesystem;

struct HistoryTest : ::testing::Test {
    HistoryTest()
    {
        std::string pattern = (fs::temp_directory_path() / "tornavel-history-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
    }
    ~HistoryTest() override { fs::remove_all(dir); }
    std::string Path() const { return (dir / "state" / "tornavel" / "events.log").string(); }
    static std::string Contents(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    static std::vector<std::string> Texts(const std::vector<HistoryEntry>& entries)
    {
        std::vector<std::string> texts;
        for (const auto& e : entries) texts.push_back(e.text);
        return texts;
    }
    fs::path dir;
};

TEST_F(HistoryTest, EachEventIsOneLineInItsMissingFolderAndReadsBack)
{
    EventHistory history(Path());
    std::vector<HistoryEntry> heard;
    history.SetListener([&](const HistoryEntry& e) { heard.push_back(e); });
    history.Record(HistoryKind::Alert, "Сбой сети.", 1000);
    history.Record(HistoryKind::Change, "a\nb\tc\r", 1001);  // unit text cannot split a line

    EXPECT_EQ(Contents(Path()), "1000\talert\tСбой сети.\n1001\tchange\ta b c \n");
    const auto loaded = history.Load();
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].at, 1000);
    EXPECT_EQ(loaded[0].kind, HistoryKind::Alert);
    EXPECT_EQ(loaded[1].kind, HistoryKind::Change);
    EXPECT_EQ(loaded[1].text, "a b c ");
    EXPECT_EQ(Texts(heard), Texts(loaded));
}

TEST_F(HistoryTest, EveryKindSurvivesTheRoundTrip)
{
    for (HistoryKind kind : {HistoryKind::Alert, HistoryKind::Connected, HistoryKind::Disconnected, HistoryKind::Change,
                             HistoryKind::Test}) {
        const auto parsed = ParseHistoryLine(
            HistoryLine({42, kind, "x"}).substr(0, HistoryLine({42, kind, "x"}).size() - 1));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->kind, kind);
        EXPECT_FALSE(KindCaption(kind).empty());
    }
}

TEST_F(HistoryTest, TheFileIsBoundedAndRotatedOnce)
{
    constexpr std::size_t kBound = 200;
    EventHistory history(Path(), kBound);
    for (int i = 0; i < 40; ++i) history.Record(HistoryKind::Test, "event " + std::to_string(i), 2000 + i);

    EXPECT_LE(fs::file_size(Path()), kBound);
    EXPECT_LE(fs::file_size(Path() + ".1"), kBound);
    EXPECT_FALSE(fs::exists(Path() + ".2"));
    const auto texts = Texts(history.Load());
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "event 39");
    // The two files hold an unbroken run of the newest events, oldest first.
    const int first = std::stoi(texts.front().substr(6));
    for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], "event " + std::to_string(first + i));
    EXPECT_GT(texts.size(), 10u);
}

TEST_F(HistoryTest, BrokenAndForeignLinesAreSkippedAndATornLineSpoilsNoOther)
{
    fs::create_directories(fs::path(Path()).parent_path());
    std::ofstream(Path(), std::ios::binary) << "1000\talert\tСбой сети.\n"
                                            << "garbage without tabs\n"
                                            << "12x\talert\tnot a time\n"
                                            << "1001\tunknown\tforeign kind\n"
                                            << "\n"
                                            << "1002\ttest\tbad \x01 byte\n"
                                            << "1003\tconnected\tCOM1: подключен";  // torn by a crash
    EventHistory history(Path());
    history.Record(HistoryKind::Disconnected, "COM1: устройство пропало", 1004);
    EXPECT_EQ(Texts(history.Load()),
              (std::vector<std::string>{"Сбой сети.", "COM1: подключен", "COM1: устройство пропало"}));
}

TEST_F(HistoryTest, AnUnwritablePlaceLosesOnlyTheFile)
{
    fs::create_directories(dir / "blocked");
    std::ofstream(dir / "blocked" / "tornavel") << "a file where the folder should be";
    EventHistory history((dir / "blocked" / "tornavel" / "events.log").string());
    int heard = 0;
    history.SetListener([&](const HistoryEntry&) { ++heard; });
    history.Record(HistoryKind::Alert, "Сбой сети.");
    EXPECT_EQ(heard, 1);
    EXPECT_TRUE(history.Load().empty());
}

struct PathCase {
    const char* name;
    const char* stateHome;
    const char* home;
    const char* path;
};

class HistoryPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(HistoryPath, FollowsTheStateDirectory)
{
    auto set = [](const char* name, const char* value) { value ? ::setenv(name, value, 1) : ::unsetenv(name); };
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    set("XDG_STATE_HOME", GetParam().stateHome);
    set("HOME", GetParam().home);
    EXPECT_EQ(DefaultHistoryPath(), GetParam().path);
    ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", savedHome.c_str(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HistoryPath,
    ::testing::Values(PathCase{"StateHome", "/s", "/h", "/s/tornavel/events.log"},
                      PathCase{"HomeDefault", nullptr, "/h", "/h/.local/state/tornavel/events.log"},
                      PathCase{"RelativeStateHomeIgnored", "rel", "/h", "/h/.local/state/tornavel/events.log"},
                      PathCase{"Nowhere", nullptr, nullptr, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct ChangeCase {
    const char* name;
    Bytes before, after, requested;
    bool confirmed;
};

class ChangeHistory : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeHistory, SaysWhetherTheReadBackConfirmsIt)
{
    const auto& c = GetParam();
    const std::string text = ChangeText("k", "EditZS", c.before, c.after, c.requested);
    const std::string tail = c.confirmed ? ", подтверждено" : ", не подтверждено";
    EXPECT_EQ(text, "параметр «k» (EditZS): «" + c.before + "» -> «" + c.after + "»" + tail);
}

INSTANTIATE_TEST_SUITE_P(Table, ChangeHistory,
                         ::testing::Values(ChangeCase{"StepMoved", "0", "T", "+", true},
                                           ChangeCase{"StepStuck", "0", "0", "+", false},
                                           ChangeCase{"TextWritten", "UPS_IDEN", "LAB", "LAB", true},
                                           ChangeCase{"TextRefused", "UPS_IDEN", "UPS_IDEN", "LAB", false},
                                           ChangeCase{"NoReadBack", "0", "", "-", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HistoryTest, AlertsAndTestAnswersOfTheSessionAreRecorded)
{
    testing::RecordingScreen screen;
    Session session{screen};
    EventHistory history(Path());
    HistoryEvents recorder(history);
    session.events = &recorder;
    session.alerts.ReportAlert("!");
    session.alerts.ReportAlert("NO");         // an acknowledgement is no event of its own,
    session.events->TestAnswered("W", "NO");  // but the outcome of the test it answered
    session.events->TestAnswered("A", "");
    session.events->TestAnswered("D", "NA");
    EXPECT_EQ(Texts(history.Load()),
              (std::vector<std::string>{"Сбой сети.", "тест батарей: ответ «NO»", "тест индикации: нет ответа",
                                        "калибровка: ответ «NA»"}));
}

TEST(UnitEventTexts, NameThePortTheUnitAndTheReason)
{
    EXPECT_EQ(ConnectedText(1, "Smart-UPS 1000", "QS0512345678"),
              "COM1: подключен «Smart-UPS 1000», серийный номер «QS0512345678»");
    EXPECT_EQ(DisconnectedText(2, EndReason::DeviceGone), "COM2: устройство пропало");
    EXPECT_EQ(DisconnectedText(2, EndReason::Stopped), "COM2: отключен кнопкой «стоп»");
    EXPECT_EQ(ConnectedText(1, "\xCF\xF0\xEE", ""), "COM1: подключен «Про», серийный номер «»");  // Windows-1251
}

}  // namespace
}  // namespace tornavel
