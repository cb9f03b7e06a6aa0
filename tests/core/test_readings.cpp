// Dates the unit keeps (dd/mm/yy) read as Unix times; anything the calendar
// does not have is left out rather than guessed.
#include <gtest/gtest.h>

#include "monitor/readings.h"

namespace tornavel {
namespace {

struct DateCase {
    const char* answer;
    std::optional<double> seconds;
};

class DateAnswer : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateAnswer, ReadsAsMidnightUtcOrNothing)
{
    EXPECT_EQ(ParseDateAsTimestamp(GetParam().answer), GetParam().seconds) << GetParam().answer;
}

INSTANTIATE_TEST_SUITE_P(Dates, DateAnswer,
                         ::testing::Values(DateCase{"14/06/11", 1308009600}, DateCase{"01/01/70", 0.0},
                                           DateCase{"31/12/99", 946598400}, DateCase{"01/01/00", 946684800},
                                           DateCase{"29/02/04", 1078012800}, DateCase{" 12/03/05 ", 1110585600},
                                           DateCase{"31/12/69", 3155673600},
                                           // not a day of the calendar, or not the form at all
                                           DateCase{"00/00/00", std::nullopt}, DateCase{"15/00/99", std::nullopt},
                                           DateCase{"31/04/05", std::nullopt}, DateCase{"29/02/05", std::nullopt},
                                           DateCase{"32/01/05", std::nullopt}, DateCase{"1/06/2011", std::nullopt},
                                           DateCase{"14-06-11", std::nullopt}, DateCase{"14/O6/11", std::nullopt},
                                           DateCase{"", std::nullopt}, DateCase{"NA", std::nullopt}));

}  // namespace
}  // namespace tornavel
