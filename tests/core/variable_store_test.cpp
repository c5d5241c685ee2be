// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Payload bytes, the presence probe and the request write against the fake store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot_request.h"
#include "fake_store.h"
#include "recording_front_end.h"
#include "variable_store.h"

namespace {

std::vector<uint8_t> payload_for(const char *command)
{
    BootRequest request;
    EXPECT_EQ(parse_boot_request(command, &request), STATUS_SUCCESS) << command;
    resolve_selection(&request);
    std::vector<uint8_t> payload(payload_size(&request), 0xEE);
    fill_payload(&request, payload.data());
    return payload;
}

std::vector<uint8_t> bytes(std::initializer_list<int> values)
{
    return std::vector<uint8_t>(values.begin(), values.end());
}

TEST(Payload, Layouts)
{
    EXPECT_EQ(payload_for("/CURRENT"), bytes({0xFB, 0xFF, 0, 0, 0, 0}));
    // 6 + len(selection) + len(run file): the code, an empty selection and "a.efi".
    EXPECT_EQ(payload_for("3/run=a.efi"), bytes({3, 0, 0, 0, 0, 'a', '.', 'e', 'f', 'i', 0}));
    EXPECT_EQ(payload_for("Ab/run=x"), bytes({0xFF, 0xFF, 0, 0, 'A', 'b', 0, 'x', 0}));
    EXPECT_EQ(payload_for("70000"), bytes({0x70, 0x11, 0x01, 0, 0, 0}));
}

TEST(Payload, LargestRequestIs119Bytes)
{
    const std::string command = std::string(50, 'n') + "/run=" + std::string(63, 'r');
    const std::vector<uint8_t> got = payload_for(command.c_str());
    ASSERT_EQ(got.size(), PAYLOAD_MAX_SIZE);
    EXPECT_EQ(got[4 + 50], 0);
    EXPECT_EQ(got[4 + 51], 'r');
    EXPECT_EQ(got.back(), 0);
}

TEST(Payload, CodeFillsFourBytesAndNoMore)
{
    uint8_t to[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    store_u32_le(to, 0x04030201);
    EXPECT_EQ(std::vector<uint8_t>(to, to + 6), bytes({1, 2, 3, 4, 0xEE, 0xEE}));
}

TEST(StatusTable, LooksOnlyAtTheCountGiven)
{
    const StatusMapping table[] = {{5, STATUS_ACCESS_DENIED}, {7, STATUS_NOT_FOUND}};
    EXPECT_EQ(map_status(table, 2, 7, STATUS_READ_FAILED), STATUS_NOT_FOUND);
    EXPECT_EQ(map_status(table, 1, 7, STATUS_READ_FAILED), STATUS_READ_FAILED);
}

TEST(Probe, PresentOnSuccessOrLongerValue)
{
    const struct {
        StatusCode read_status;
        size_t stored;
        StatusCode expected;
    } cases[] = {
        {STATUS_SUCCESS, 4, STATUS_SUCCESS},
        {STATUS_SUCCESS, 1, STATUS_SUCCESS},
        {STATUS_SUCCESS, 100, STATUS_SUCCESS}, // answers 95: still present
        {STATUS_NOT_FOUND, 0, STATUS_NOT_FOUND},
        {STATUS_NOT_MOUNTED, 0, STATUS_NOT_MOUNTED},
        {STATUS_ACCESS_DENIED, 0, STATUS_ACCESS_DENIED},
        {STATUS_READ_FAILED, 0, STATUS_READ_FAILED},
    };
    for (const auto &c : cases) {
        reset_fake_store();
        fake_store.read_status = c.read_status;
        fake_store.stored_size = c.stored;
        EXPECT_EQ(probe_boot_manager(), c.expected);
        EXPECT_EQ(fake_store.reads, 1);
        EXPECT_EQ(fake_store.writes, 0);
        EXPECT_STREQ(fake_store.last_name, "ZarvexUEFI");
        EXPECT_STREQ(fake_store.last_guid, "{81686ef9-7f6f-42e3-9371-696de9bf6299}");
    }
}

TEST(WriteRequest, WritesPayloadWithAttributesSeven)
{
    for (StatusCode write_status : {STATUS_SUCCESS, STATUS_WRITE_FAILED, STATUS_ACCESS_DENIED}) {
        reset_fake_store();
        fake_store.write_status = write_status;
        EXPECT_EQ(run_recorded_pass("My Item/run=go.efi/noreboot"), int(write_status));
        EXPECT_EQ(fake_store.writes, 1);
        EXPECT_STREQ(fake_store.last_name, "Quiplex");
        EXPECT_STREQ(fake_store.last_guid, VENDOR_GUID_TEXT);
        EXPECT_EQ(fake_store.written_attributes, 7u);
        const std::vector<uint8_t> expected = {0xFF, 0xFF, 0,   0,   'M', 'y', ' ', 'I', 't', 'e',
                                               'm',  0,    'g', 'o', '.', 'e', 'f', 'i', 0};
        ASSERT_EQ(fake_store.written_size, expected.size());
        EXPECT_EQ(std::vector<uint8_t>(fake_store.written, fake_store.written + expected.size()),
                  expected);
    }
}

} // namespace
