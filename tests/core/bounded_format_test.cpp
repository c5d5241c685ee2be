// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// bounded_format: the length when the text fits, -1 and a terminated prefix when it does not.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "bounded_format.h"

namespace {

TEST(BoundedFormat, FitsOrReportsTruncation)
{
    const struct {
        size_t capacity;
        int result;
        const char *text;
    } cases[] = {
        {16, 5, "ab-12"}, // room to spare
        {6, 5, "ab-12"},  // exactly fits with its NUL
        {5, -1, "ab-1"},  // one short: cut and terminated
        {2, -1, "a"},     // room for one character
        {1, -1, ""},      // room for the NUL alone
    };
    for (const auto &c : cases) {
        char buffer[16];
        memset(buffer, 'Z', sizeof buffer);
        EXPECT_EQ(bounded_format(buffer, c.capacity, "%s-%d", "ab", 12), c.result) << c.capacity;
        EXPECT_STREQ(buffer, c.text);
    }
}

TEST(BoundedFormat, LastByteIsAlwaysTheTerminatorAndNothingBeyondIsWritten)
{
    for (size_t capacity : {7, 8}) {
        char buffer[9];
        memset(buffer, 'Z', sizeof buffer);
        if (capacity == 7)
            buffer[7] = '\0';
        EXPECT_EQ(bounded_format(buffer, capacity, "%s-%d", "ab", 12), 5);
        EXPECT_EQ(std::string(buffer, sizeof buffer),
                  capacity == 7 ? std::string("ab-12\0\0\0Z", 9) : std::string("ab-12\0Z\0Z", 9));
    }
}

TEST(BoundedFormat, ZeroCapacityWritesNothing)
{
    char buffer[4] = {'q', 'q', 'q', 'q'};
    EXPECT_EQ(bounded_format(buffer, 0, "%s", "x"), -1);
    EXPECT_EQ(buffer[0], 'q');
}

TEST(BoundedFormat, UpperCaseHexWithoutLeadingZeros)
{
    char buffer[128];
    EXPECT_EQ(bounded_format(buffer, sizeof buffer, "Unable to configure system! (%Xh)", 1314u),
              34);
    EXPECT_STREQ(buffer, "Unable to configure system! (522h)");
}

} // namespace
