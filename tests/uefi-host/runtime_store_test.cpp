// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// Tests of the UEFI variable store, UCS-2 conversion and revision guard against fake tables.
#include <gtest/gtest.h>
#include <setjmp.h>
#include <string.h>

#include "fake_tables.h"
#include "guid_text.h"
#include "runtime_store.h"
#include "startup.h"
#include "variable_store.h"

extern "C" void *__real_malloc(size_t);
extern "C" void __real_free(void *);
static bool fail_malloc;
static int frees;
static size_t last_malloc_size;
extern "C" void *__wrap_malloc(size_t size)
{
    last_malloc_size = size;
    return fail_malloc ? nullptr : __real_malloc(size);
}
extern "C" void __wrap_free(void *block)
{
    if (block)
        frees++;
    __real_free(block);
}

namespace {

FakeTables tables;

EFI_STATUS next_status;
int firmware_calls;
std::u16string seen_name;
EFI_GUID seen_guid;
UINTN reported_size;

EFI_STATUS EFIAPI fake_get(const CHAR16 *name, const EFI_GUID *guid, uint32_t *, UINTN *size,
                           void *)
{
    firmware_calls++;
    seen_name = name;
    seen_guid = *guid;
    *size = reported_size;
    return next_status;
}
EFI_STATUS EFIAPI fake_set(const CHAR16 *, const EFI_GUID *, uint32_t, UINTN, const void *)
{
    firmware_calls++;
    return next_status;
}

struct StoreTest : ::testing::Test {
    void SetUp() override
    {
        refuse_every_call(&tables);
        tables.runtime.GetVariable = fake_get;
        tables.runtime.SetVariable = fake_set;
        gST = &tables.system;
        gBS = &tables.boot;
        gRT = &tables.runtime;
        fail_malloc = false;
        frees = firmware_calls = 0;
        next_status = EFI_SUCCESS;
        reported_size = 4;
    }
};

TEST(MapEfiStatus, WholeTable)
{
    const struct {
        EFI_STATUS efi;
        StatusCode status;
    } rows[] = {
        // Several rows to a line; clang-format would give each its own.
        // clang-format off
        {0, 0}, {1, 93}, {2, 70}, {3, 4}, {4, 95}, {5, 62}, {6, 71}, {7, 71},
        {efi_error(1), 3}, {efi_error(2), 61}, {efi_error(3), 76}, {efi_error(4), 63},
        {efi_error(5), 95}, {efi_error(6), 88}, {efi_error(7), 17}, {efi_error(8), 75},
        {efi_error(9), 2}, {efi_error(10), 94}, {efi_error(11), 32}, {efi_error(12), 71},
        {efi_error(13), 100}, {efi_error(14), 8}, {efi_error(15), 75}, {efi_error(16), 97},
        {efi_error(17), 13}, {efi_error(18), 96}, {efi_error(19), 71}, {efi_error(20), 87},
        {efi_error(21), 71}, {efi_error(24), 71}, {efi_error(25), 13}, {efi_error(26), 75},
        {efi_error(27), 94}, {efi_error(28), 67}, {efi_error(29), 71}, {efi_error(31), 67},
        {efi_error(32), 13}, {efi_error(33), 94}, {efi_error(34), 71}, {efi_error(99), 71},
        {efi_error(100), 96}, {efi_error(101), 96}, {efi_error(102), 96}, {efi_error(103), 96},
        {efi_error(104), 97}, {efi_error(105), 97}, {efi_error(106), 97}, {efi_error(107), 71},
        {14, 71},
        // clang-format on
    };
    for (const auto &row : rows)
        EXPECT_EQ(map_efi_status(row.efi), row.status) << std::hex << row.efi;
}

std::u16string convert(const char *text)
{
    CHAR16 *units = to_ucs2_alloc(CODE_PAGE_AUTO, text);
    const size_t allocated = last_malloc_size;
    std::u16string result(units);
    free(units);
    // The name takes its units and the terminator from the pool, nothing more.
    EXPECT_EQ(allocated, (result.size() + 1) * sizeof(CHAR16)) << text;
    return result;
}

TEST(ToUcs2, DecodingRules)
{
    const struct {
        const char *text;
        std::u16string units;
        bool utf8;
    } rows[] = {
        {"Quiplex", u"Quiplex", false},
        {"K\xE4se", u"K\u00E4se", false},    // widened byte for byte
        {"K\xC3\xA4se", u"K\u00E4se", true}, // decoded as UTF-8
        {"\xE2\x82\xAC", u"\u20AC", true},
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00", true},         // surrogate pair
        {"\xC0\x80x\xC3\xA4", u"\xFFFDx\u00E4", true},       // short form
        {"\xF4\x90\x80\x80\xC3\xA4", u"\xFFFD\u00E4", true}, // above 0x10FFFF
        {"\xC3(\xC3\xA4", u"\u00C3(\u00E4", true},           // broken sequence keeps the lead
        {"\x80\xFE\xFF\xC3\xA4", u"\u0080\u00FE\u00FF\u00E4", true},
        {"\xF8\x88\x80\x80\x80\xC3\xA4", u"\xFFFD\u00E4", true}, // five-byte short form
        {"", u"", false},
        {"\x01\xC3\xA4", u"\x01\u00E4", true},
        {"a\x80\xFE\x80", u"a\u0080\u00FE\u0080", false}, // no lead before a continuation
        // The shortest form of each length, one below it, the highest code points.
        {"\xC1\xBF\xC2\x80\xD0\x96", u"\xFFFD\u0080\u0416", true},
        {"\xE0\x9F\xBF\xE0\xA0\x80\xE1\x80\x80", u"\xFFFD\u0800\u1000", true},
        {"\xF0\x8F\xBF\xBF\xF0\x90\x80\x80", u"\xFFFD\xD800\xDC00", true},
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xF1\x80\x80\x80", u"\xFFFF\xDBFF\xDFFF\xD8C0\xDC00", true},
        // Five- and six-byte forms are taken whole and never a character.
        {"\xF9\x80\x80\x80\x80-\xFB\x80\x80\x80\x80.", u"\xFFFD-\xFFFD.", true},
        {"\xFC\x84\x80\x80\x80\x80-\xFD\xBF\xBF\xBF\xBF\xBF.", u"\xFFFD-\xFFFD.", true},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(convert(row.text), row.units) << row.text;
        EXPECT_EQ(text_is_utf8(row.text), row.utf8) << row.text;
    }
    CHAR16 *empty = to_ucs2_alloc(CODE_PAGE_AUTO, nullptr);
    EXPECT_EQ(empty[0], 0);
    free(empty);
    CHAR16 *widened = to_ucs2_alloc(1252, "\xC3\xA4");
    EXPECT_EQ(std::u16string(widened), u"\u00C3\u00A4");
    free(widened);
}

TEST(ToUcs2, OneUnitLeftAndFullArray)
{
    CHAR16 out[4];
    EXPECT_EQ(utf8_to_ucs2("ab\xF0\x9F\x98\x80", out, 3), 3u);
    EXPECT_EQ(std::u16string(out, 3), std::u16string(u"ab\0", 3)); // 0xFFFD overwritten by 0
    EXPECT_EQ(utf8_to_ucs2("abcdef", out, 4), 4u);
    EXPECT_EQ(std::u16string(out), u"abc");
    EXPECT_EQ(utf8_to_ucs2("a\xF0\x9F\x98\x80", out, 4), 4u);
    EXPECT_EQ(std::u16string(out), u"a\xD83D\xDE00");
    // No room: nothing written; room for one unit: the terminator alone.
    out[0] = out[1] = u'#';
    EXPECT_EQ(utf8_to_ucs2("ab", out, 0), 0u);
    EXPECT_EQ(out[0], u'#');
    EXPECT_EQ(utf8_to_ucs2("ab", out, 1), 1u);
    EXPECT_EQ(std::u16string(out, 2), std::u16string(u"\0#", 2));
}

TEST(GuidText, ParsesVendorBytes)
{
    const uint8_t expected[16] = {0xF9, 0x6E, 0x68, 0x81, 0x6F, 0x7F, 0xE3, 0x42,
                                  0x93, 0x71, 0x69, 0x6D, 0xE9, 0xBF, 0x62, 0x99};
    for (const char *text : {VENDOR_GUID_TEXT, "{81686EF9-7F6F-42E3-9371-696DE9BF6299}"}) {
        uint8_t out[16] = {};
        ASSERT_TRUE(parse_guid_text(text, out));
        EXPECT_EQ(memcmp(out, expected, 16), 0) << text;
    }
}

TEST_F(StoreTest, ReadResults)
{
    const struct {
        EFI_STATUS efi;
        StatusCode status;
        size_t size_after;
    } rows[] = {
        {EFI_SUCCESS, 0, 4},   {EFI_WARN_STALE_DATA, 0, 4}, {EFI_BUFFER_TOO_SMALL, 95, 0},
        {EFI_NOT_FOUND, 8, 0}, {EFI_UNSUPPORTED, 76, 0},
    };
    for (const auto &row : rows) {
        next_status = row.efi;
        frees = 0;
        uint8_t buffer[4];
        size_t size = 4;
        reported_size = row.efi == EFI_BUFFER_TOO_SMALL ? 12 : 4;
        EXPECT_EQ(read_variable(PRESENCE_VARIABLE_NAME, VENDOR_GUID_TEXT, buffer, &size, nullptr),
                  row.status);
        EXPECT_EQ(size, row.size_after);
        EXPECT_EQ(frees, 1);
    }
    EXPECT_EQ(seen_name, u"ZarvexUEFI");
    EXPECT_EQ(seen_guid.bytes[0], 0xF9);
}

TEST_F(StoreTest, FailuresBeforeTheFirmware)
{
    uint8_t buffer[4];
    size_t size = 4;
    EXPECT_EQ(read_variable(nullptr, VENDOR_GUID_TEXT, buffer, &size, nullptr), 61u);
    EXPECT_EQ(
        read_variable("Quiplex", "{81686ef9-7f6f-42e3-9371-696de9bf6299 ", buffer, &size, nullptr),
        61u);
    EXPECT_EQ(write_variable("Quiplex", "bad", buffer, 4, 7), 61u);
    EXPECT_EQ(frees, 1); // the write's name
    fail_malloc = true;
    EXPECT_EQ(read_variable("Quiplex", VENDOR_GUID_TEXT, buffer, &size, nullptr), 2u);
    EXPECT_EQ(write_variable("Quiplex", VENDOR_GUID_TEXT, buffer, 4, 7), 2u);
    fail_malloc = false;
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(firmware_calls, 0);
}

TEST_F(StoreTest, WriteResults)
{
    const struct {
        EFI_STATUS efi;
        StatusCode status;
    } rows[] = {
        {EFI_SUCCESS, 0},          {EFI_WARN_WRITE_FAILURE, 0},
        {EFI_WRITE_PROTECTED, 75}, {EFI_SECURITY_VIOLATION, 75},
        {EFI_OUT_OF_RESOURCES, 2}, {EFI_VOLUME_FULL, 32},
        {EFI_ABORTED, 71},         {EFI_NO_MEDIA, 71},
    };
    for (const auto &row : rows) {
        next_status = row.efi;
        EXPECT_EQ(write_variable(REQUEST_VARIABLE_NAME, VENDOR_GUID_TEXT, "abcdef", 6, 7),
                  row.status);
    }
    EXPECT_EQ(frees, 8);
}

// Fake console and keyboard for the revision guard; the cold reset leaves the endless loop.
std::u16string screen;
jmp_buf reset_done;
EFI_RESET_TYPE reset_type;
const CHAR16 *keys = u"xR";

EFI_STATUS EFIAPI fake_output(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *, const CHAR16 *text)
{
    screen += text;
    return EFI_SUCCESS;
}
EFI_STATUS EFIAPI fake_wait(UINTN count, EFI_EVENT *events, UINTN *)
{
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(events, &tables.in.WaitForKey);
    return EFI_SUCCESS;
}
// "!" stands for a failed read that leaves an "R" in the key, which must not count.
EFI_STATUS EFIAPI fake_read_key(EFI_SIMPLE_TEXT_INPUT_PROTOCOL *self, EFI_INPUT_KEY *key)
{
    EXPECT_EQ(self, &tables.in);
    const bool failed = *keys == u'!';
    key->UnicodeChar = failed ? u'R' : *keys;
    keys++;
    return failed ? EFI_NOT_READY : EFI_SUCCESS;
}
void EFIAPI fake_reset(EFI_RESET_TYPE type, EFI_STATUS status, UINTN size, const void *data)
{
    reset_type = type;
    EXPECT_EQ(status, EFI_SUCCESS);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(data, nullptr);
    longjmp(reset_done, 1);
}

TEST(FirmwareRevision, GuardTexts)
{
    const struct {
        uint32_t revision;
        const char16_t *version;
        const CHAR16 *keys; // the last one resets
    } rows[] = {
        {0x00020000, u" 2.0 ", u"xR"},  {0x0001000A, u" 1.1 ", u"x!r"},
        {0x00020005, u" 2.0.5 ", u"R"}, {0x00020009, u" 2.0.9 ", u"!xR"},
        {0x00010064, u" 1.10 ", u"r"},  {0x00010069, u" 1.10.5 ", u"R"},
    };
    for (const auto &row : rows) {
        refuse_every_call(&tables);
        tables.out.OutputString = fake_output;
        tables.in.ReadKeyStroke = fake_read_key;
        tables.boot.WaitForEvent = fake_wait;
        tables.runtime.ResetSystem = fake_reset;
        EFI_SYSTEM_TABLE &table = tables.system;
        table.Hdr.Revision = row.revision;
        screen.clear();
        keys = row.keys;
        reset_type = EfiResetWarm;
        if (setjmp(reset_done) == 0) {
            check_firmware_revision(&table);
            ADD_FAILURE() << "returned on an old firmware";
        }
        EXPECT_EQ(screen, std::u16string(u"System UEFI Version") + row.version +
                              u"is not supported.\r\n\nUEFI Version 2.1 or later is required."
                              u"\r\n\nSystem Halted - Press R to reset the system.");
        EXPECT_EQ(reset_type, EfiResetCold);
        EXPECT_EQ(*keys, 0); // every other key was passed over
    }
    for (uint32_t revision : {0x0002000Au, 0x0002001Fu, 0x00030000u}) {
        refuse_every_call(&tables);
        tables.system.Hdr.Revision = revision;
        check_firmware_revision(&tables.system); // returns without touching the console
    }
}

} // namespace
