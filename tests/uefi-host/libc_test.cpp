// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The UEFI build's small C library against the host's, and its console and pool over fakes.
#include <ctype.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_tables.h"

// uefi/libc.cpp as the image has it, its names prefixed (tests/uefi-host/CMakeLists.txt).
extern "C" {
size_t efi_strlen(const char *text);
char *efi_strcpy(char *to, const char *from);
char *efi_strstr(const char *text, const char *part);
int efi_toupper(int c);
int efi_isspace(int c);
int efi_strncasecmp(const char *a, const char *b, size_t count);
int efi_strcasecmp(const char *a, const char *b);
unsigned long efi_strtoul(const char *text, char **end, int base);
void *efi_malloc(size_t size);
void efi_free(void *block);
void *efi_memcpy(void *to, const void *from, size_t count);
void *efi_memset(void *to, int value, size_t count);
int efi_printf(const char *format, ...);
int efi_puts(const char *text);
}

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

TEST(UefiLibc, StringsAsTheHostHasThem)
{
    for (const char *text : {"", "a", "Zarvex UEFI"}) {
        EXPECT_EQ(efi_strlen(text), strlen(text)) << text;
        char copy[16];
        memset(copy, '#', sizeof copy);
        EXPECT_EQ(efi_strcpy(copy, text), copy);
        EXPECT_EQ(std::string(copy, sizeof copy),
                  text + std::string(1, '\0') + std::string(15 - strlen(text), '#'));
    }
    const char *const pairs[][2] = {
        {"abc", ""},    {"1/NOREBOOT", "/NOREBOOT"},
        {"abc", "abd"}, {"ab", "abc"},
        {"aab", "ab"},  {"", "a"},
        {"abc", "c"},   {"/RUN=a /RUN=", "/RUN="},
        {"", ""},
    };
    for (const auto &pair : pairs) {
        const char *found = efi_strstr(pair[0], pair[1]);
        const char *expected = strstr(pair[0], pair[1]);
        EXPECT_EQ(found == nullptr ? -1 : found - pair[0],
                  expected == nullptr ? -1 : expected - pair[0])
            << pair[0] << " / " << pair[1];
    }
    for (int c = 0; c < 256; c++) {
        EXPECT_EQ(efi_toupper(c), toupper(c)) << c;
        EXPECT_EQ(efi_isspace(c) != 0, isspace(c) != 0) << c;
    }
}

TEST(UefiLibc, CaseBlindComparisons)
{
    const struct {
        const char *a, *b;
        size_t count;
    } rows[] = {
        {"abc", "ABC", 3}, {"abc", "abd", 3},    {"abc", "abd", 2},
        {"a", "b", 0},     {"ab", "abc", 5},     {"abc", "ab", 5},
        {"b", "A", 1},     {"", "", 1},          {"/noreboot", "/NOREBOOT", 9},
        {"1", "2", 1},     {"Help", "HELP!", 4},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.a << " / " << row.b << " / " << row.count);
        EXPECT_EQ(sign(efi_strncasecmp(row.a, row.b, row.count)),
                  sign(strncasecmp(row.a, row.b, row.count)));
        EXPECT_EQ(sign(efi_strcasecmp(row.a, row.b)), sign(strcasecmp(row.a, row.b)));
    }
}

TEST(UefiLibc, StrtoulAsTheHostHasIt)
{
    const char *const texts[] = {
        "",
        "7",
        " \t\n\v\f\r12x",
        "+5",
        "-1",
        "1/noreboot",
        "0x1F",
        "0X1f",
        "0x",
        "0xg",
        "0xg1",
        "Af",
        "-18446744073709551615",
        "-0x10",
        "077",
        "08",
        "019",
        "1a",
        "z",
        "Zz9",
        "101",
        "18446744073709551615",
        "18446744073709551610",
        "18446744073709551616",
        "-18446744073709551616",
        "0xFFFFFFFFFFFFFFF0",
        "0x10000000000000000",
        "  -",
    };
    for (int base : {0, 2, 8, 10, 16, 36}) {
        for (const char *text : texts) {
            SCOPED_TRACE(testing::Message() << '"' << text << "\" base " << base);
            char *end = nullptr;
            char *expected_end = nullptr;
            EXPECT_EQ(efi_strtoul(text, &end, base), strtoul(text, &expected_end, base));
            EXPECT_EQ(end - text, expected_end - text);
            EXPECT_EQ(efi_strtoul(text, nullptr, base), strtoul(text, nullptr, base));
        }
    }
    // A base the C library does not know converts nothing.
    for (int base : {1, 37}) {
        char *end = nullptr;
        const char *text = "01";
        EXPECT_EQ(efi_strtoul(text, &end, base), 0u) << base;
        EXPECT_EQ(end, text) << base;
    }
}

// The pool and the console the library uses, recorded.
FakeTables tables;
std::vector<std::u16string> console;
std::vector<std::pair<uint32_t, UINTN>> allocations;
std::vector<void *> released;
EFI_STATUS allocation_status;
alignas(16) unsigned char pool[64];

EFI_STATUS EFIAPI fake_output(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self, const CHAR16 *text)
{
    EXPECT_EQ(self, &tables.out);
    console.emplace_back(text);
    return EFI_SUCCESS;
}
EFI_STATUS EFIAPI fake_allocate(uint32_t type, UINTN size, void **buffer)
{
    allocations.emplace_back(type, size);
    *buffer = allocation_status == EFI_SUCCESS ? pool : nullptr;
    return allocation_status;
}
EFI_STATUS EFIAPI fake_free(void *buffer)
{
    released.push_back(buffer);
    return EFI_SUCCESS;
}

struct LibcConsoleTest : ::testing::Test {
    EFI_SYSTEM_TABLE *saved_system = gST;
    EFI_BOOT_SERVICES *saved_boot = gBS;
    void SetUp() override
    {
        refuse_every_call(&tables);
        tables.out.OutputString = fake_output;
        tables.boot.AllocatePool = fake_allocate;
        tables.boot.FreePool = fake_free;
        gST = &tables.system;
        gBS = &tables.boot;
        console.clear();
    }
    void TearDown() override
    {
        gST = saved_system;
        gBS = saved_boot;
    }
};

// The console text the host's formatter makes of the same call: "\r" before each "\n".
std::u16string widened(const std::string &bytes)
{
    std::u16string units;
    for (unsigned char c : bytes) {
        if (c == '\n')
            units += u'\r';
        units += static_cast<char16_t>(c);
    }
    return units;
}

TEST_F(LibcConsoleTest, PrintfAsTheHostFormats)
{
    char expected[160];
    const std::vector<std::pair<std::function<int()>, std::function<int()>>> rows = {
        {[] { return efi_printf("%s\n", "Zarvex UEFI"); },
         [&] { return snprintf(expected, sizeof expected, "%s\n", "Zarvex UEFI"); }},
        {[] { return efi_printf("%u %u %u|%c|%%", 0u, 9u, 4294967295u, 'q'); },
         [&] {
             return snprintf(expected, sizeof expected, "%u %u %u|%c|%%", 0u, 9u, 4294967295u, 'q');
         }},
        {[] { return efi_printf("%x %x %lx %lu", 0u, 0xABCDEFu, ULONG_MAX, ULONG_MAX); },
         [&] {
             return snprintf(expected, sizeof expected, "%x %x %lx %lu", 0u, 0xABCDEFu, ULONG_MAX,
                             ULONG_MAX);
         }},
        {[] { return efi_printf("%d %d %d %ld %ld", 0, -7, INT_MIN, LONG_MIN, LONG_MAX); },
         [&] {
             return snprintf(expected, sizeof expected, "%d %d %d %ld %ld", 0, -7, INT_MIN,
                             LONG_MIN, LONG_MAX);
         }},
        {[] { return efi_puts("a\nb"); },
         [&] { return snprintf(expected, sizeof expected, "%s\n", "a\nb"); }},
    };
    for (const auto &[call, host] : rows) {
        console.clear();
        const int written = call();
        const int length = host();
        EXPECT_EQ(written, length) << expected;
        ASSERT_EQ(console.size(), 1u) << expected;
        EXPECT_EQ(console[0], widened(expected));
    }
    // An unknown conversion prints nothing, a lone '%' at the end ends the text.
    console.clear();
    EXPECT_EQ(efi_printf("a%qb %"), 3);
    EXPECT_EQ(console, std::vector<std::u16string>{u"ab "});
}

TEST_F(LibcConsoleTest, OutputInPiecesOf127Units)
{
    const std::string text(200, 'a');
    EXPECT_EQ(efi_printf("%s", text.c_str()), 200);
    EXPECT_EQ(console,
              (std::vector<std::u16string>{std::u16string(127, u'a'), std::u16string(73, u'a')}));
    console.clear();
    // The line feed's "\r" fills a piece; the "\n" starts the next.
    EXPECT_EQ(efi_printf("%s\n", std::string(126, 'b').c_str()), 127);
    EXPECT_EQ(console, (std::vector<std::u16string>{std::u16string(126, u'b') + u"\r", u"\n"}));
    console.clear();
    EXPECT_EQ(efi_printf("%s", ""), 0);
    EXPECT_TRUE(console.empty()); // nothing to say, no call
    gST = nullptr;                // before start-up recorded the tables
    EXPECT_EQ(efi_printf("x"), 1);
    tables.system.ConOut = nullptr;
    gST = &tables.system;
    EXPECT_EQ(efi_puts("x"), 2);
    EXPECT_TRUE(console.empty());
}

TEST_F(LibcConsoleTest, HeapFromThePool)
{
    allocations.clear();
    released.clear();
    allocation_status = EFI_SUCCESS;
    EXPECT_EQ(efi_malloc(24), pool);
    allocation_status = EFI_OUT_OF_RESOURCES;
    EXPECT_EQ(efi_malloc(12), nullptr);
    EXPECT_EQ(allocations,
              (std::vector<std::pair<uint32_t, UINTN>>{{EfiLoaderData, 24}, {EfiLoaderData, 12}}));
    efi_free(nullptr);
    efi_free(pool);
    EXPECT_EQ(released, std::vector<void *>{pool});
    unsigned char bytes[8];
    EXPECT_EQ(efi_memset(bytes, 0x1A5, sizeof bytes), bytes);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(bytes), 8), std::string(8, '\xA5'));
    EXPECT_EQ(efi_memcpy(bytes + 1, "xyz", 3), bytes + 1);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(bytes), 8), "\xA5xyz\xA5\xA5\xA5\xA5");
}

} // namespace
