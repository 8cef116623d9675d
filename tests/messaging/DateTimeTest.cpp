// Day numbers, local date-times and their ISO-8601 text.
#include "messaging/DateTime.h"
#include "messaging/Message.h"

#include <gtest/gtest.h>

using namespace messaging;

namespace {

TEST(DateTime, DateOnlyRoundingAndRejectedTexts)
{
    EXPECT_EQ(toIsoText(45000.375, true), "2023-03-15");
    EXPECT_EQ(toIsoText(45000.375 - 1e-9), "2023-03-15T09:00:00"); // nearly whole seconds round
    EXPECT_EQ(parseIsoDayNumber("2023-03-15"), 45000.0);
    EXPECT_EQ(parseIsoDayNumber("2023-03-15 09:00"), 45000.375);
    EXPECT_EQ(parseIsoDayNumber("2000-02-29T12:00:00"), 36585.5);
    for (const char *bad : {"", "2023-3-15", "2023-02-29", "2023-13-01", "2023-03-15T24:00:00", "2023-03-15T09:60", "2023-03-15T09",
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
