// Day numbers, local date-times and their ISO-8601 text.
#include "messaging/DateTime.h"
#include "messaging/Message.h"

#include <gtest/gtest.h>

using namespace messaging;

namespace {

struct DayCase {
    const char *iso;
    double day;
};

class DayNumbers : public ::testing::TestWithParam<DayCase> {};

TEST_P(DayNumbers, RoundTrip)
{
    auto parsed = parseIsoDayNumber(GetParam().iso);
    ASSERT_TRUE(parsed);
    EXPECT_DOUBLE_EQ(*parsed, GetParam().day);
    EXPECT_EQ(toIsoText(GetParam().day), GetParam().iso);
}

INSTANTIATE_TEST_SUITE_P(DateTime, DayNumbers,
                         ::testing::Values(DayCase{"1899-12-30T00:00:00", 0.0}, DayCase{"1899-12-31T00:00:00", 1.0},
                                           DayCase{"1900-01-01T00:00:00", 2.0}, DayCase{"1900-03-01T00:00:00", 61.0},
                                           DayCase{"2000-02-29T12:00:00", 36585.5},
                                           DayCase{"2023-03-15T09:00:00", 45000.375},
                                           DayCase{"2024-12-31T23:59:59", 45657.0 + 86399.0 / 86400.0},
                                           DayCase{"1899-12-29T06:00:00", -0.75}));

TEST(DateTime, DateOnlyRoundingAndRejectedTexts)
{
    EXPECT_EQ(toIsoText(45000.375, true), "2023-03-15");
    EXPECT_EQ(toIsoText(45000.375 - 1e-9), "2023-03-15T09:00:00"); // nearly whole seconds round
    EXPECT_EQ(parseIsoDayNumber("2023-03-15"), 45000.0);
    EXPECT_EQ(parseIsoDayNumber("2023-03-15 09:00"), 45000.375);
    for (const char *bad : {"", "2023-3-15", "2023-02-29", "2023-13-01", "2023-03-15T24:00:00", "2023-03-15T09:60",
                            "2023-03-15X09:00:00", "2023-03-15T09:00:00Z", "tomorrow"})
        EXPECT_FALSE(parseIsoDayNumber(bad)) << bad;
}

TEST(PropValueText, NumbersAsPlainDecimalText)
{
    const std::pair<PropValue, const char *> cases[] = {
        {45000.375, "45000.375"},
        {0.1 + 0.2, "0.3"},
        {0.00001, "0.00001"},
        {-1.5e-7, "-0.00000015"},
        {1e20, "100000000000000000000"},
        {123456789012345678.0, "123456789012345680"},
        {std::int64_t(-7), "-7"},
        {true, "True"},
        {false, "False"},
        {std::string("text"), "text"}};
    for (const auto &[value, text] : cases)
        EXPECT_EQ(toText(value), text);
}

} // namespace
