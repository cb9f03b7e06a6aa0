// Settings by name: which values may be written, when an answer shows the
// value asked for, and how a setting is brought to a value over a path that
// answers like a unit with a cyclic list.
#include <gtest/gtest.h>

#include <deque>

#include "settings/settingchange.h"

namespace tornavel {
namespace {

const NamedSetting& Setting(const char* name)
{
    const NamedSetting* setting = FindSetting(name);
    EXPECT_NE(setting, nullptr) << name;
    return *setting;
}

struct ValueRow {
    const char* setting;
    const char* value;
    bool accepted;
    Bytes sent;  // changeValue of the request
};

TEST(NamedSettings, ValuesAreCheckedAsTheWindowChecksThem)
{
    const ValueRow rows[] = {
        {"alarm-delay", "T", true, "+"},
        {"self-test-interval", "ON ", true, "+"},
        {"sensitivity", "", false, {}},
        {"sensitivity", "a\rb", false, {}},
        {"name", "ab", true, Bytes("ab") + std::string(6, '\0')},
        {"name", "\xD0\x98\xD0\x91\xD0\x9F", true, Bytes("\xC8\xC1\xCF") + std::string(5, '\0')},  // Cyrillic
        {"name", "abcdefgh", true, "abcdefgh"},
        {"name", "abcdefghi", false, {}},
        {"name", "", false, {}},
        {"name", "a|b", false, {}},
        {"name", "\xE2\x82\xAC\xE2\x82\xAC", true, "\x88\x88" + std::string(6, '\0')},  // the euro sign is in it
        {"name", "\xC3\xA9", false, {}},                                                // e acute is not
        {"battery-date", "01/12/26", true, "01/12/26"},
        {"battery-date", "00/00/00", true, "00/00/00"},
        {"battery-date", "31/04/05", false, {}},
        // Dates as units report them, month first, go back unchanged.
        {"battery-date", "03/15/04", true, "03/15/04"},
        {"manufacture-date", "12/31/99", true, "12/31/99"},
        {"battery-date", "04/31/05", false, {}},  // neither 31 April nor month 31
        {"battery-date", "02/30/04", false, {}},  // no 30 February either way
        {"battery-date", "1/12/26", false, {}},
        {"manufacture-date", "13/13/13", false, {}},
        {"register0", "b0", true, "b0"},
        {"register0", "B", false, {}},
        {"register0", "0x", false, {}},
    };
    for (const ValueRow& row : rows) {
        std::string error;
        const auto request = RequestForValue(Setting(row.setting), row.value, error);
        EXPECT_EQ(request.has_value(), row.accepted) << row.setting << " " << row.value;
        if (request)
            EXPECT_EQ(request->changeValue, row.sent) << row.setting;
        else
            EXPECT_FALSE(error.empty()) << row.setting << " " << row.value;
    }
}

TEST(NamedSettings, AnAnswerShowsTheValueWithoutBlanksZeroFillOrCase)
{
    EXPECT_TRUE(AnswerShows(Setting("self-test-interval"), "ON ", "on"));
    EXPECT_TRUE(AnswerShows(Setting("name"), Bytes("ab\0\0", 4), "ab"));
    EXPECT_FALSE(AnswerShows(Setting("name"), "AB", "ab"));
    EXPECT_TRUE(AnswerShows(Setting("register0"), "B0", "b0"));
    EXPECT_FALSE(AnswerShows(Setting("register0"), "NA", "b0"));
    EXPECT_FALSE(AnswerShows(Setting("alarm-delay"), "", ""));
}

// Answers read-backs from a cyclic list; after `answers` read-backs it falls
// silent (a pulled cable), or reports the writer could not finish.
class ListPath final : public ChangePath {
public:
    ListPath(std::vector<Bytes> values, std::size_t at) : values_(std::move(values)), at_(at) {}
    std::optional<Bytes> Perform(const ChangeRequestTexts& request) override
    {
        requests.push_back(request);
        if (requests.size() > answers) return finishes ? std::optional<Bytes>(Bytes()) : std::nullopt;
        at_ = (at_ + 1) % values_.size();
        return values_[at_];
    }
    bool Stopped() override { return requests.size() >= stopAfter; }
    std::vector<ChangeRequestTexts> requests;
    std::size_t answers = 100;
    bool finishes = true;
    std::size_t stopAfter = 100;  // the path stops once this many requests were performed

private:
    std::vector<Bytes> values_;
    std::size_t at_;
};

TEST(BringSetting, StepsUpUntilTheReadBackShowsTheValue)
{
    ListPath path({"0", "T", "L", "N"}, 1);
    const SettingOutcome outcome = BringSetting(path, Setting("alarm-delay"), "T", "n");
    EXPECT_EQ(outcome.status, SettingOutcome::Status::Changed);
    EXPECT_EQ(outcome.after, "N");
    ASSERT_EQ(path.requests.size(), 2u);
    EXPECT_EQ(path.requests[0].changeCmd, "k");
    EXPECT_EQ(path.requests[0].changeValue, "+");
}

TEST(BringSetting, AValueAlreadyShownSendsNothing)
{
    ListPath path({"H", "M", "L"}, 0);
    EXPECT_EQ(BringSetting(path, Setting("sensitivity"), "H", "H").status, SettingOutcome::Status::Unchanged);
    EXPECT_TRUE(path.requests.empty());
}

TEST(BringSetting, AValueNotOfferedStopsAfterOneRoundBackWhereItStarted)
{
    ListPath path({"H", "M", "L"}, 1);
    const SettingOutcome outcome = BringSetting(path, Setting("sensitivity"), "M", "X");
    EXPECT_EQ(outcome.status, SettingOutcome::Status::NotOffered);
    EXPECT_EQ(outcome.offered, (std::vector<Bytes>{"M", "L", "H"}));
    EXPECT_EQ(outcome.after, "M");
    EXPECT_EQ(path.requests.size(), 3u);
}

TEST(BringSetting, SilenceOrAnUnfinishedWriteStopsAndSaysSo)
{
    ListPath silent({"0", "T", "L", "N"}, 0);
    silent.answers = 1;
    const SettingOutcome lost = BringSetting(silent, Setting("alarm-delay"), "0", "N");
    EXPECT_EQ(lost.status, SettingOutcome::Status::NoAnswer);
    EXPECT_EQ(silent.requests.size(), 2u);
    EXPECT_NE(DescribeOutcome(lost).find("half written"), std::string::npos);

    ListPath refused({"A0"}, 0);
    refused.answers = 0;
    refused.finishes = false;
    const SettingOutcome unconfirmed = BringSetting(refused, Setting("register0"), "A0", "B0");
    EXPECT_EQ(unconfirmed.status, SettingOutcome::Status::Unconfirmed);
    EXPECT_EQ(refused.requests.size(), 1u);
}

struct StopRow {
    const char* setting;
    Bytes current;
    const char* value;
    std::size_t stopAfter;
    std::size_t requests;  // performed before the stop took
    Bytes holds;
};

// A path that stops (the program was asked to end) lets the request under
// way finish and starts no other; the outcome says what the unit holds.
TEST(BringSetting, AStoppedPathStartsNoFurtherRequest)
{
    const StopRow rows[] = {
        {"alarm-delay", "0", "N", 0, 0, "0"},  {"alarm-delay", "0", "N", 1, 1, "T"},
        {"alarm-delay", "0", "N", 2, 2, "L"},  {"name", "OLD", "abc", 0, 0, "OLD"},
        {"register0", "A0", "A2", 0, 0, "A0"},
    };
    for (const StopRow& row : rows) {
        ListPath path({"0", "T", "L", "N"}, 0);
        path.stopAfter = row.stopAfter;
        const SettingOutcome outcome = BringSetting(path, Setting(row.setting), row.current, row.value);
        SCOPED_TRACE(std::string(row.setting) + " " + std::to_string(row.stopAfter));
        EXPECT_EQ(outcome.status, SettingOutcome::Status::Stopped);
        EXPECT_EQ(path.requests.size(), row.requests);
        EXPECT_EQ(outcome.after, row.holds);
        EXPECT_NE(DescribeOutcome(outcome).find("the unit holds \"" + row.holds + "\""), std::string::npos)
            << DescribeOutcome(outcome);
    }
}

}  // namespace
}  // namespace tornavel
