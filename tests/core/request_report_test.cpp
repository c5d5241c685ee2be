// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Reading stored values by the boot manager's rule, and their escaped descriptions.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "fake_store.h"
#include "request_report.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct DecodeCase {
    Bytes value;
    StatusCode status;
    RequestKind kind;
    std::string selection;
    std::string run_file;
};

const DecodeCase DECODE_CASES[] = {
    {{0xFB, 0xFF, 0, 0}, STATUS_SUCCESS, REQUEST_KEYWORD, "", ""},
    {{0xFE, 0xFF, 0, 0, 0, 0}, STATUS_SUCCESS, REQUEST_KEYWORD, "", ""},
    {{2, 0, 0, 0, 0, 0}, STATUS_SUCCESS, REQUEST_ITEM, "", ""},
    {{0xFF, 0xFF, 0, 0, 'A', 'b'}, STATUS_SUCCESS, REQUEST_NAME, "Ab", ""},    // no NUL
    {{0xFF, 0xFF, 0, 0, 'A', 0, 'x'}, STATUS_SUCCESS, REQUEST_NAME, "A", "x"}, // cut run file
    {{0xFF, 0xFF, 0, 0, 'A', 0, 'x', 0, 'y'}, STATUS_SUCCESS, REQUEST_NAME, "A", "x"},
    {{0xFF, 0xFF, 0, 0, '&', 'W', 0, 0}, STATUS_SUCCESS, REQUEST_HOT_KEY, "&W", ""},
    {{0xFF, 0xFF, 0, 0, '&', 0xC3, 0x89, 0}, STATUS_SUCCESS, REQUEST_HOT_KEY, "&\xC3\x89", ""},
    {{0xFF, 0xFF, 0, 0, '&', 'W', 'X', 0}, STATUS_SUCCESS, REQUEST_NAME, "&WX", ""},
    {{0xFF, 0xFF, 0, 0, '&', 0}, STATUS_SUCCESS, REQUEST_NAME, "&", ""},
    // The edges of a hot key: four-byte sequence, lead byte 0xC0 and no lower, continuations only.
    // clang-format off
    {{0xFF, 0xFF, 0, 0, '&', 0xF0, 0x9F, 0x98, 0x80}, STATUS_SUCCESS, REQUEST_HOT_KEY, "&\xF0\x9F\x98\x80", ""},
    {{0xFF, 0xFF, 0, 0, '&', 0xF0, 0x9F, 0x98, 0x80, 0x80}, STATUS_SUCCESS, REQUEST_NAME, "&\xF0\x9F\x98\x80\x80", ""},
    {{0xFF, 0xFF, 0, 0, '&', 0xC0, 0x80}, STATUS_SUCCESS, REQUEST_HOT_KEY, "&\xC0\x80", ""},
    {{0xFF, 0xFF, 0, 0, '&', 0xBF, 0x80}, STATUS_SUCCESS, REQUEST_NAME, "&\xBF\x80", ""},
    {{0xFF, 0xFF, 0, 0, '&', 0xC3, 'A'}, STATUS_SUCCESS, REQUEST_NAME, "&\xC3" "A", ""},
    // clang-format on
    {{0xFF, 0xFF, 0}, STATUS_CORRUPT, REQUEST_ITEM, "", ""},
    {{}, STATUS_CORRUPT, REQUEST_ITEM, "", ""},
};

TEST(DecodeRequest, ReadsTextsOnlyAsFarAsTheValueReaches)
{
    for (const DecodeCase &c : DECODE_CASES) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        RequestView view;
        ASSERT_EQ(decode_request(c.value.data(), c.value.size(), &view), c.status);
        if (c.status != STATUS_SUCCESS)
            continue;
        EXPECT_EQ(view.kind, c.kind);
        EXPECT_EQ(
            std::string(reinterpret_cast<const char *>(view.selection), view.selection_length),
            c.selection);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(view.run_file), view.run_file_length),
                  c.run_file);
        EXPECT_LE(view.run_file + view.run_file_length, c.value.data() + c.value.size());
    }
}

TEST(DecodeRequest, CodeIsLittleEndianAndTheSizeIsTheEnd)
{
    const uint8_t value[] = {1, 2, 3, 4, 'A', 'b', 'c'};
    RequestView view;
    ASSERT_EQ(decode_request(value, 6, &view), STATUS_SUCCESS);
    EXPECT_EQ(view.code, 0x04030201u);
    EXPECT_EQ(view.selection_length, 2u);
    EXPECT_EQ(view.run_file_length, 0u);
    const uint8_t lone_ampersand[] = {0xFF, 0xFF, 0, 0, '&', 0xC3};
    ASSERT_EQ(decode_request(lone_ampersand, 5, &view), STATUS_SUCCESS);
    EXPECT_EQ(view.kind, REQUEST_NAME);
}

TEST(FormatStatus, PrintableEdgesAndAttributesInHex)
{
    const Bytes value = {0xFF, 0xFF, 0, 0, 0x1F, ' ', '~', 0};
    RequestView view;
    ASSERT_EQ(decode_request(value.data(), value.size(), &view), STATUS_SUCCESS);
    StatusReport report{};
    report.request = &view;
    report.attributes_known = true;
    report.attributes = 0x27;
    char text[128];
    format_status_text(&report, text, sizeof text);
    EXPECT_STREQ(text, "Pending request: name \"\\x1F ~\"\nRun file: none\n"
                       "Size: 8 bytes, attributes 0x00000027");
    format_status_json(&report, text, sizeof text);
    EXPECT_NE(strstr(text, "\"selection\":\"\\u001F ~\""), nullptr) << text;
}

TEST(FormatStatus, CorruptValueSizes)
{
    const struct {
        size_t size;
        const char *text;
    } cases[] = {
        {0, "Pending request: corrupt"},
        {1, "Pending request: corrupt (1 byte, shorter than its 4-byte code)"},
        {3, "Pending request: corrupt (3 bytes, shorter than its 4-byte code)"},
    };
    for (const auto &c : cases) {
        StatusReport report{};
        report.corrupt = true;
        report.corrupt_size = c.size;
        char text[128];
        format_status_text(&report, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(FormatStatus, EscapesEveryByteATerminalCouldActOn)
{
    const Bytes value = {0xFF, 0xFF, 0, 0, 0x1B, '[', '2', 'J', '"', 0x9B, 0, 'a', '\\', 0x7F, 0};
    RequestView view;
    ASSERT_EQ(decode_request(value.data(), value.size(), &view), STATUS_SUCCESS);
    StatusReport report{};
    report.boot_manager_known = report.boot_manager = true;
    report.request = &view;
    char text[512];
    format_status_text(&report, text, sizeof text);
    EXPECT_STREQ(text, "Zarvex UEFI: found\nPending request: name \"\\x1B[2J\\x22\\x9B\"\n"
                       "Run file: \"a\\\\x7F\"\nSize: 15 bytes");
    format_status_json(&report, text, sizeof text);
    EXPECT_EQ(text, "{\"status\":0,\"boot_manager\":true,\"request\":{\"code\":65535,"
                    "\"kind\":\"name\",\"keyword\":null,\"selection\":\"\\u001B[2J\\\"\\u009B\","
                    "\"run_file\":\"a\\\\\\u007F\",\"attributes\":null,\"size\":15}" +
                        std::string(FIRMWARE_UNKNOWN_JSON) + "}");
}

TEST(FormatStatus, CutsToTheBufferAndStaysTerminated)
{
    StatusReport report{};
    report.boot_manager_known = true;
    char text[8];
    memset(text, 'z', sizeof text);
    format_status_json(&report, text, sizeof text);
    EXPECT_STREQ(text, "{\"statu");
}

TEST(FormatStatus, TinyBuffersAreNeverOverrun)
{
    StatusReport report{};
    DryRunReport dry_run{};
    for (size_t capacity : {0, 1}) {
        char text[2] = {'z', 'z'};
        format_dry_run_text(&dry_run, text, capacity); // puts nothing, yet terminates
        EXPECT_EQ(text[capacity], 'z') << capacity;
        EXPECT_EQ(text[0], capacity == 0 ? 'z' : '\0') << capacity;
        text[0] = 'z';
        format_status_text(&report, text, capacity);
        EXPECT_EQ(text[capacity], 'z') << capacity;
        format_status_json(&report, text, capacity);
        EXPECT_EQ(text[capacity], 'z') << capacity;
        EXPECT_EQ(text[0], capacity == 0 ? 'z' : '\0') << capacity;
        text[0] = 'z';
        const RequestView item{};
        DryRunReport written{};
        written.request = &item;
        format_written_text(&written, text, capacity);
        EXPECT_EQ(text[capacity], 'z') << capacity;
        EXPECT_EQ(text[0], capacity == 0 ? 'z' : '\0') << capacity;
        text[0] = 'z';
        format_failure_text("Unable", "2", text, capacity);
        EXPECT_EQ(text[capacity], 'z') << capacity;
        EXPECT_EQ(text[0], capacity == 0 ? 'z' : '\0') << capacity;
    }
}

} // namespace
