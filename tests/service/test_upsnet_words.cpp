// The protocol's line reader and writer: quoting and escaping.
#include <gtest/gtest.h>

#include "upsnet/wordline.h"

using namespace tornavel::service::upsnet;

namespace {

struct SplitCase {
    const char* line;
    std::vector<std::string> words;
};

class SplitTable : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTable, GivesTheWords)
{
    const auto words = SplitWords(GetParam().line);
    ASSERT_TRUE(words) << GetParam().line;
    EXPECT_EQ(*words, GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(Lines, SplitTable,
                         testing::Values(SplitCase{"GET VAR ups ups.status", {"GET", "VAR", "ups", "ups.status"}},
                                         SplitCase{"  LIST \t UPS  ", {"LIST", "UPS"}}, SplitCase{"", {}},
                                         SplitCase{"GET UPSDESC \"rack one\"", {"GET", "UPSDESC", "rack one"}},
                                         SplitCase{R"(GET UPSDESC "say \"hi\"")", {"GET", "UPSDESC", "say \"hi\""}},
                                         SplitCase{R"(GET UPSDESC "C:\\ups")", {"GET", "UPSDESC", "C:\\ups"}},
                                         SplitCase{R"(GET UPSDESC a\ b)", {"GET", "UPSDESC", "a b"}},
                                         SplitCase{R"(PASSWORD "")", {"PASSWORD", ""}},
                                         SplitCase{R"(X ab"c d"e)", {"X", "abc de"}},
                                         SplitCase{"USERNAME фид", {"USERNAME", "фид"}}));

class RefusedTable : public testing::TestWithParam<std::string> {};

TEST_P(RefusedTable, GivesNothing)
{
    EXPECT_FALSE(SplitWords(GetParam())) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Lines, RefusedTable,
                         testing::Values("GET UPSDESC \"open", R"(GET UPSDESC a\)", "GET\rVAR",
                                         std::string("GET\0VAR", 7), "LIST\x1bUPS", "LIST\x7fUPS"));

struct WordCase {
    std::string word;
    std::string text;
};

class WordTable : public testing::TestWithParam<WordCase> {};

TEST_P(WordTable, IsWrittenAndReadBack)
{
    EXPECT_EQ(WordText(GetParam().word), GetParam().text);
    const auto back = SplitWords("X " + WordText(GetParam().word));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, (std::vector<std::string>{"X", GetParam().word}));
}

INSTANTIATE_TEST_SUITE_P(Words, WordTable,
                         testing::Values(WordCase{"ups", "ups"}, WordCase{"", "\"\""},
                                         WordCase{"rack one", "\"rack one\""},
                                         WordCase{"Ann's \"big\" UPS", R"("Ann's \"big\" UPS")"},
                                         WordCase{"back\\slash", R"("back\\slash")"},
                                         WordCase{"a\\\" b\\", R"("a\\\" b\\")"}));

TEST(QuotedText, LeavesControlCharactersOut)
{
    EXPECT_EQ(QuotedText("two\r\nlines\x7f"), "\"twolines\"");
    EXPECT_EQ(QuotedText("229.3"), "\"229.3\"");
}

}  // namespace
