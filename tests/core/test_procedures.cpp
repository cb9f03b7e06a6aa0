// The text helpers and the number conversions of answers.
#include <gtest/gtest.h>

#include "monitor/numbers.h"
#include "text/cp1251.h"
#include "text/procedures.h"

namespace tornavel {
namespace {

TEST(IsDigits, Table)
{
    const std::vector<std::pair<Bytes, bool>> cases = {
        {"", false},    {" 12", false}, {"12 ", false}, {"-1", false},
        {"1.5", false}, {"007", true},  {"0", true},    {Bytes("1\0", 2), false},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(IsDigits(text), expected) << text;
}

TEST(CharInSet, IsExactAndEmptySetHoldsNothing)
{
    EXPECT_TRUE(CharInSet('|', "!$%+?=*#|"));
    EXPECT_FALSE(CharInSet('a', "A"));
    EXPECT_FALSE(CharInSet('a', ""));
    EXPECT_FALSE(CharInSet('\0', "abc"));
}

TEST(SplitLine, Table)
{
    struct Case {
        Bytes in, line, rest;
    };
    const std::vector<Case> cases = {
        {"SM\r\n", "SM", ""},     {"a\nb\r\n", "a", "b\r\n"}, {"abc", "abc", ""}, {"\r\n", "", ""}, {"", "", ""},
        {"x\rY", "x", "Y"},       {"x\n\rY", "x", "\rY"},  // LF CR is two line ends
        {"x\r\r\n", "x", "\r\n"},
    };
    for (const auto& c : cases) {
        Bytes s = c.in, line = "junk";
        SplitLine(s, line);
        EXPECT_EQ(line, c.line) << c.in;
        EXPECT_EQ(s, c.rest) << c.in;
    }
}

TEST(HexDigit, Table)
{
    const std::vector<std::pair<Bytes, int>> cases = {
        {"f", 15}, {"F", 15}, {"0", 0}, {"9", 9}, {"a", 10}, {"ff", 0}, {"G", 0}, {"", 0}, {Bytes(1, '\0'), 0},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(HexDigit(text), expected) << text;
}

TEST(HexToInt, Table)
{
    const std::vector<std::pair<Bytes, std::uint32_t>> cases = {
        {"FF", 255},
        {"A", 10},
        {"1A2", 418},
        {"1G", 16},
        {"", 0},
        {Bytes(17, '1'), 0},
        {"100000001", 1},
        {"ffffffff", 0xFFFFFFFFu},
        {Bytes(16, 'F'), 0xFFFFFFFFu},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(HexToInt(text), expected) << text;
}

TEST(S2Int, Table)
{
    const std::vector<std::pair<Bytes, std::int32_t>> cases = {
        {"229.3", 229},
        {"045.0", 45},
        {"100", 100},
        {"x12", 0},
        {" 007 ", 7},
        {"\t007\r\n", 7},
        {"12ab", 12},
        {".5", 0},
        {"", 0},
        {"-5", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"99999999999999999999", 2147483647},
        {"0000000000002147483647", 2147483647},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(s2int(text), expected) << text;
}

TEST(HexByteValue, Table)
{
    const std::vector<std::pair<Bytes, int>> cases = {
        {"F", 15}, {"ff", 255}, {"A0", 160}, {"1G", 0}, {"100", 0}, {"", 0}, {"b0", 176},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(HexByteValue(text), expected) << text;
}

TEST(IsHexText, Table)
{
    const std::vector<std::pair<Bytes, bool>> cases = {
        {"", false}, {"0a", true}, {"C1", true}, {"108", true}, {"ab!x", false}, {"g", false}, {Bytes("0\0", 2), false},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(IsHexText(text), expected) << text;
}

TEST(Cp1251, RoundTripsCyrillicAndKeepsAscii)
{
    const std::string utf8 = "Ёжик в тумане №1";
    const Bytes wire = Utf8ToCp1251(utf8);
    EXPECT_EQ(wire.size(), 16u);                           // one byte per character
    EXPECT_EQ(static_cast<unsigned char>(wire[0]), 0xA8);  // Ё
    EXPECT_EQ(Cp1251ToUtf8(wire), utf8);
    EXPECT_EQ(Cp1251ToUtf8(Bytes("\x01SM\r\n", 5)), "\x01SM\r\n");
    EXPECT_EQ(Utf8ToCp1251("日"), "?");
    EXPECT_EQ(Utf8ToCp1251("\xFF"), "?");  // broken UTF-8 never crashes
}

// Broken UTF-8 never turns into, nor swallows, an ASCII byte for the line.
TEST(Cp1251, BrokenUtf8GivesQuestionMarksAndKeepsAscii)
{
    const std::vector<std::pair<std::string, Bytes>> cases = {
        {"\xC0\xA1", "??"},       // "!" in two bytes
        {"\xC0\x8D", "??"},       // CR in two bytes
        {"\xE0\x80\xA1", "???"},  // "!" in three bytes
        {"\xE0\x90\x90", "???"},  // "А" in three bytes
        {"\xE0"
         "A",
         "?A"},                // cut short before an ASCII letter
        {"1\xD0", "1?"},       // cut short at the end
        {"\xD0\x81", "\xA8"},  // a well-formed "Ё" still converts
    };
    for (const auto& [utf8, wire] : cases) EXPECT_EQ(Utf8ToCp1251(utf8), wire) << utf8;
}

}  // namespace
}  // namespace tornavel
