// Checks and typing rules of the parameter page's edit boxes, and the change
// request each save makes.
#include <gtest/gtest.h>

#include "settings/fieldrules.h"

namespace tornavel {
namespace {

// ---------------------------------------------------------------------------
// Typing into a date box: the key filter, then the change handler's "/".

// What the box holds after the keys are typed one by one; '\b' is Backspace.
std::string TypeIntoBatteryDate(const std::string& keys)
{
    std::string text;
    for (char key : keys) {
        if (!AcceptBatteryDateChar(static_cast<unsigned char>(key))) continue;
        if (key == '\b') {
            // Key down takes a trailing "/" away without the change handler.
            if (BackspaceRemovesSlash(text)) text.pop_back();
            if (!text.empty()) text.pop_back();
        } else {
            text += key;
        }
        // The change handler, run again after its own append.
        while (const auto slashed = AutoSlash(text)) text = *slashed;
    }
    return text;
}

struct TypingCase {
    const char* keys;
    const char* text;
};

struct BatteryDateTypingTest : ::testing::TestWithParam<TypingCase> {};

TEST_P(BatteryDateTypingTest, BoxHoldsTheExpectedText)
{
    EXPECT_EQ(TypeIntoBatteryDate(GetParam().keys), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Keys, BatteryDateTypingTest,
                         ::testing::Values(TypingCase{"120503", "12/05/03"},
                                           TypingCase{"12\b", "1"},              // Backspace after "12/"
                                           TypingCase{"1205\b", "12/0"},         // after "12/05/"
                                           TypingCase{"12/0a5x03", "12/05/03"},  // "/" and letters dropped
                                           TypingCase{"\b\b", ""}));

TEST(AutoSlash, OnlyAtTwoAndFiveCharacters)
{
    EXPECT_EQ(AutoSlash("12"), "12/");
    EXPECT_EQ(AutoSlash("12/05"), "12/05/");
    EXPECT_EQ(AutoSlash("ая"), "ая/");  // counted in characters, not bytes
    for (const char* text : {"", "1", "12/", "12/0", "12/05/", "12/05/03", "я"})
        EXPECT_FALSE(AutoSlash(text).has_value()) << text;
}

TEST(BackspaceRemovesSlash, OnlyATrailingSlash)
{
    EXPECT_TRUE(BackspaceRemovesSlash("12/"));
    EXPECT_TRUE(BackspaceRemovesSlash("/"));
    EXPECT_FALSE(BackspaceRemovesSlash(""));
    EXPECT_FALSE(BackspaceRemovesSlash("12/0"));
}

struct KeyCase {
    char32_t key;
    bool identity;  // name, serial number, manufacture date
    bool batteryDate;
};

struct KeyFilterTest : ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyFilterTest, AcceptsOrDrops)
{
    EXPECT_EQ(AcceptIdentityChar(GetParam().key), GetParam().identity);
    EXPECT_EQ(AcceptBatteryDateChar(GetParam().key), GetParam().batteryDate);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyFilterTest,
    ::testing::Values(KeyCase{U'!', false, false}, KeyCase{U'$', false, false}, KeyCase{U'%', false, false},
                      KeyCase{U'+', false, false}, KeyCase{U'?', false, false}, KeyCase{U'=', false, false},
                      KeyCase{U'*', false, false}, KeyCase{U'#', false, false}, KeyCase{U'|', false, false},
                      KeyCase{U'/', true, false}, KeyCase{U'a', true, false}, KeyCase{U'Я', true, false},
                      KeyCase{U' ', true, false}, KeyCase{U'0', true, true}, KeyCase{U'9', true, true},
                      KeyCase{U'\b', true, true}, KeyCase{U'\x1F', true, true}, KeyCase{U'\x7F', true, false},
                      KeyCase{U'Ł', false, false}, KeyCase{U'€', true, false}, KeyCase{U'日', false, false}));

// ---------------------------------------------------------------------------
// Dates: form, then calendar.

struct DateCase {
    const char* text;
    SaveOutcome outcome;
};

struct DateSaveTest : ::testing::TestWithParam<DateCase> {};

TEST_P(DateSaveTest, BothDateBoxesFollowTheSameRules)
{
    const auto& c = GetParam();
    ChangeRequestTexts made;
    ChangeRequestTexts battery;
    EXPECT_EQ(PrepareSaveMadeDate(c.text, made), c.outcome);
    EXPECT_EQ(PrepareSaveBatteryDate(c.text, battery), c.outcome);
    if (c.outcome == SaveOutcome::Request) {
        EXPECT_EQ(made.changeCmd, "m");
        EXPECT_EQ(made.changeValue, c.text);
        EXPECT_EQ(battery.changeCmd, "x");
        EXPECT_EQ(battery.changeValue, c.text);
    } else {
        EXPECT_TRUE(made.changeCmd.empty());  // no request made
        EXPECT_TRUE(battery.changeCmd.empty());
    }
}

constexpr auto kRequest = SaveOutcome::Request;
constexpr auto kFlash = SaveOutcome::Flash;
constexpr auto kRefused = SaveOutcome::Refused;

INSTANTIATE_TEST_SUITE_P(
    Dates, DateSaveTest,
    ::testing::Values(DateCase{"12/05/03", kRequest}, DateCase{"31/01/99", kRequest}, DateCase{"31/12/99", kRequest},
                      DateCase{"30/04/05", kRequest}, DateCase{"31/04/05", kRefused}, DateCase{"31/06/05", kRefused},
                      DateCase{"31/09/05", kRefused}, DateCase{"31/11/05", kRefused}, DateCase{"32/01/99", kRefused},
                      DateCase{"13/13/13", kRefused},
                      // February: 29 days in every year divisible by four.
                      DateCase{"28/02/05", kRequest}, DateCase{"29/02/05", kRefused}, DateCase{"29/02/04", kRequest},
                      DateCase{"29/02/00", kRequest}, DateCase{"29/02/96", kRequest}, DateCase{"30/02/04", kRefused},
                      // 00 stands for unknown.
                      DateCase{"00/00/00", kRequest}, DateCase{"15/00/99", kRequest}, DateCase{"99/00/99", kRequest},
                      DateCase{"00/13/00", kRefused},
                      // Not of the form dd/mm/yy: the box flashes.
                      DateCase{"", kFlash}, DateCase{"12/05/3", kFlash}, DateCase{"12/05/031", kFlash},
                      DateCase{"12-05-03", kFlash}, DateCase{"1a/05/03", kFlash}, DateCase{" 2/05/03", kFlash},
                      DateCase{"12/05/0я", kFlash}, DateCase{"12/+5/03", kFlash}));

TEST(IsData, FormOnly)
{
    EXPECT_TRUE(isDATA("99/99/99"));
    EXPECT_FALSE(isDATA(Bytes("12/05/0\0", 8)));
    EXPECT_FALSE(isDATA("12/05/03\r\n"));
}

// ---------------------------------------------------------------------------
// Name and serial number: Windows-1251, cut or filled with zero bytes.

struct TextCase {
    const char* name;
    bool serial;
    const char* typed;
    SaveOutcome outcome;
    Bytes value;
};

struct TextSaveTest : ::testing::TestWithParam<TextCase> {};

TEST_P(TextSaveTest, ValueIsFittedToItsLength)
{
    const auto& c = GetParam();
    ChangeRequestTexts out;
    const auto outcome = c.serial ? PrepareSaveSerial(c.typed, out) : PrepareSaveName(c.typed, out);
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(out.changeValue, c.value);
    if (outcome == SaveOutcome::Request) {
        EXPECT_EQ(out.changeCmd, c.serial ? "n" : "c");
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, TextSaveTest,
                         ::testing::Values(TextCase{"ShortName", false, "abc", kRequest, Bytes("abc\0\0\0\0\0", 8)},
                                           TextCase{"FullName", false, "UPS_IDEN", kRequest, "UPS_IDEN"},
                                           TextCase{"LongNameIsCut", false, "abcdefghij", kRequest, "abcdefgh"},
                                           TextCase{"CyrillicName", false, "Тест", kRequest,
                                                    Bytes("\xD2\xE5\xF1\xF2\0\0\0\0", 8)},
                                           TextCase{"EmptyName", false, "", kFlash, ""},
                                           TextCase{"ShortSerial", true, "SN1", kRequest, "SN1" + Bytes(11, '\0')},
                                           TextCase{"FullSerial", true, "AS0123456789AB", kRequest, "AS0123456789AB"},
                                           TextCase{"EmptySerial", true, "", kFlash, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

struct FitCase {
    Bytes text;
    std::size_t length;
    char fill;
    Bytes fitted;
};

struct FitTextTest : ::testing::TestWithParam<FitCase> {};

TEST_P(FitTextTest, CutOrPadded)
{
    EXPECT_EQ(FitText(GetParam().text, GetParam().length, GetParam().fill), GetParam().fitted);
}

INSTANTIATE_TEST_SUITE_P(Texts, FitTextTest,
                         ::testing::Values(FitCase{"abc", 5, '.', "abc.."}, FitCase{"abcdef", 3, '.', "abc"},
                                           FitCase{"abc", 3, '.', "abc"}, FitCase{"", 2, 'x', "xx"},
                                           FitCase{"abc", 0, '.', ""}));

// ---------------------------------------------------------------------------
// Register 0: exactly two hex digits, sent as typed.

struct RegisterCase {
    const char* typed;
    SaveOutcome outcome;
};

struct RegisterSaveTest : ::testing::TestWithParam<RegisterCase> {};

TEST_P(RegisterSaveTest, TwoHexDigitsOrFlash)
{
    ChangeRequestTexts out;
    EXPECT_EQ(PrepareSaveRegister0(GetParam().typed, out), GetParam().outcome);
    if (GetParam().outcome == SaveOutcome::Request) {
        EXPECT_EQ(out.changeCmd, "0");
        EXPECT_EQ(out.changeValue, GetParam().typed);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, RegisterSaveTest,
                         ::testing::Values(RegisterCase{"b0", kRequest}, RegisterCase{"B0", kRequest},
                                           RegisterCase{"0f", kRequest}, RegisterCase{"B", kFlash},
                                           RegisterCase{"", kFlash}, RegisterCase{"G0", kFlash},
                                           RegisterCase{"b00", kFlash}, RegisterCase{" b", kFlash},
                                           RegisterCase{"ая", kFlash}));

}  // namespace
}  // namespace tornavel
