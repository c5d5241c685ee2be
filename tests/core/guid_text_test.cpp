// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// GUID text: the template's shape, hexadecimal digits in either case, and the EFI_GUID bytes.
#include <gtest/gtest.h>

#include <string.h>

#include "guid_text.h"
#include "variable_store.h"

namespace {

constexpr uint8_t VENDOR_GUID_BYTES[GUID_BYTES] = {0xF9, 0x6E, 0x68, 0x81, 0x6F, 0x7F, 0xE3, 0x42,
                                                   0x93, 0x71, 0x69, 0x6D, 0xE9, 0xBF, 0x62, 0x99};

TEST(GuidText, Validation)
{
    const struct {
        const char *text;
        bool valid;
    } cases[] = {
        {"{81686ef9-7f6f-42e3-9371-696de9bf6299}", true},
        {"{81686EF9-7F6F-42E3-9371-696DE9BF6299}", true},
        {"{00000000-0000-0000-0000-000000000000}", true},
        {"81686ef9-7f6f-42e3-9371-696de9bf6299", false},
        {"{81686ef9-7f6f-42e3-9371-696de9bf6299} ", false},
        {"{81686ef9-7f6f-42e3-9371-696de9bf629}", false},
        {"{81686ef9-7f6f-42e3-9371-696de9bf62999}", false},
        {"{g1686ef9-7f6f-42e3-9371-696de9bf6299}", false},
        {"{81686ef9-7f6f-42e3-9371-696de9bf629g}", false},
        {"{81686ef9-7g6f-42e3-9371-696de9bf6299}", false},
        {"{81686ef9_7f6f-42e3-9371-696de9bf6299}", false},
        {"{81686ef9-7f6f-42e3-9371-696de9bf6299)", false},
        {"(81686ef9-7f6f-42e3-9371-696de9bf6299}", false},
        {"{81686ef9-7f6f-42e3-93711696de9bf6299}", false},
        {"{ 1686ef9-7f6f-42e3-9371-696de9bf6299}", false},
        {"{+1686ef9-7f6f-42e3-9371-696de9bf6299}", false},
        {"", false},
        {nullptr, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(guid_text_is_valid(c.text), c.valid) << (c.text ? c.text : "(null)");
}

TEST(GuidText, ParsesVendorGuidInEitherCase)
{
    for (const char *text : {VENDOR_GUID_TEXT, "{81686EF9-7F6F-42E3-9371-696DE9BF6299}"}) {
        uint8_t bytes[GUID_BYTES] = {};
        ASSERT_TRUE(parse_guid_text(text, bytes));
        EXPECT_EQ(memcmp(bytes, VENDOR_GUID_BYTES, GUID_BYTES), 0) << text;
    }
}

TEST(GuidText, ParsesEveryFieldInPlace)
{
    uint8_t bytes[GUID_BYTES] = {};
    ASSERT_TRUE(parse_guid_text("{01234567-89ab-cdef-fedc-ba9876543210}", bytes));
    const uint8_t expected[GUID_BYTES] = {0x67, 0x45, 0x23, 0x01, 0xAB, 0x89, 0xEF, 0xCD,
                                          0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
    EXPECT_EQ(memcmp(bytes, expected, GUID_BYTES), 0);
    ASSERT_TRUE(parse_guid_text("{ffffffff-ffff-ffff-ffff-ffffffffffff}", bytes));
    for (uint8_t b : bytes)
        EXPECT_EQ(b, 0xFF);
}

TEST(GuidText, InvalidTextLeavesOutputUntouched)
{
    uint8_t bytes[GUID_BYTES];
    memset(bytes, 0x5A, sizeof bytes);
    EXPECT_FALSE(parse_guid_text("{81686ef9-7f6f-42e3-9371-696de9bf629z}", bytes));
    EXPECT_FALSE(parse_guid_text(nullptr, bytes));
    for (uint8_t b : bytes)
        EXPECT_EQ(b, 0x5A);
}

} // namespace
