// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The Shell's arguments reach the grammar whole: /noreboot as the 64th or 200th argument is seen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot_request.h"
#include "startup.h"

namespace {

EFI_SHELL_PARAMETERS_PROTOCOL shell_parameters;

EFI_STATUS EFIAPI open_shell_parameters(EFI_HANDLE, const EFI_GUID *protocol, void **interface,
                                        EFI_HANDLE, EFI_HANDLE, uint32_t)
{
    EXPECT_EQ(memcmp(protocol, &EFI_SHELL_PARAMETERS_PROTOCOL_GUID, sizeof *protocol), 0);
    *interface = &shell_parameters;
    return EFI_SUCCESS;
}

TEST(ShellArguments, EveryArgumentThatFitsReachesTheGrammar)
{
    EFI_BOOT_SERVICES boot_services{};
    boot_services.OpenProtocol = open_shell_parameters;
    EFI_BOOT_SERVICES *const saved = gBS;
    gBS = &boot_services;
    for (size_t position : {size_t(64), size_t(200)}) {
        SCOPED_TRACE(position);
        // "1", then empty arguments (a blank each), then /noreboot as argument `position`.
        std::vector<std::u16string> words = {u"quiplexefi.efi", u"1"};
        words.resize(position, u"");
        words.push_back(u"/noreboot");
        std::vector<CHAR16 *> vector;
        for (std::u16string &word : words)
            vector.push_back(word.data());
        shell_parameters.Argv = vector.data();
        shell_parameters.Argc = vector.size();

        const char *command = collect_command();
        EXPECT_EQ(std::string(command), "1" + std::string(position - 1, ' ') + "/noreboot");
        BootRequest request;
        ASSERT_EQ(parse_boot_request(command, &request), STATUS_SUCCESS);
        EXPECT_TRUE(request.no_reboot);
    }
    gBS = saved;
}

// A firmware without the Shell's parameters, or one that answers without them, leaves the command
// as it was.
EFI_STATUS EFIAPI refuse_shell_parameters(EFI_HANDLE, const EFI_GUID *, void **, EFI_HANDLE,
                                          EFI_HANDLE, uint32_t)
{
    return EFI_UNSUPPORTED;
}
EFI_STATUS EFIAPI no_shell_parameters(EFI_HANDLE, const EFI_GUID *, void **interface, EFI_HANDLE,
                                      EFI_HANDLE, uint32_t)
{
    *interface = nullptr;
    return EFI_SUCCESS;
}

TEST(ShellArguments, NoParametersNoCommand)
{
    EFI_BOOT_SERVICES boot_services{};
    EFI_BOOT_SERVICES *const saved = gBS;
    gBS = &boot_services;
    std::u16string words[] = {u"quiplexefi.efi", u"2/noreboot"};
    CHAR16 *vector[] = {words[0].data(), words[1].data()};
    shell_parameters.Argv = vector;
    shell_parameters.Argc = 2;
    boot_services.OpenProtocol = open_shell_parameters;
    EXPECT_EQ(std::string(collect_command()), "2/noreboot");
    for (auto open : {refuse_shell_parameters, no_shell_parameters}) {
        boot_services.OpenProtocol = open;
        EXPECT_EQ(std::string(collect_command()), "2/noreboot");
    }
    gBS = saved;
}

// Each code point as the Shell hands it over and the UTF-8 bytes the grammar reads: the edges of
// each length, and surrogates, which pair only high before low.
TEST(ShellArguments, EncodedByteForByte)
{
    const struct {
        std::u16string wide;
        std::string utf8;
    } rows[] = {
        {u"\u007F\u0080", "\x7F\xC2\x80"},
        {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
        {u"\uFFFF", "\xEF\xBF\xBF"},
        {u"\xD800\xDC00", "\xF0\x90\x80\x80"},
        {u"\xD800\xDFFF", "\xF0\x90\x8F\xBF"},
        {u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
        {u"\xD7FF\xDC00", "\xED\x9F\xBF\xED\xB0\x80"},
        {u"\xDC00\xDC00", "\xED\xB0\x80\xED\xB0\x80"},
        {u"\xD800\xDBFF", "\xED\xA0\x80\xED\xAF\xBF"},
        {u"\xD800\xE000", "\xED\xA0\x80\xEE\x80\x80"},
        {u"\xD800", "\xED\xA0\x80"},
    };
    for (const auto &row : rows) {
        std::u16string words[] = {u"quiplexefi.efi", row.wide};
        CHAR16 *vector[] = {words[0].data(), words[1].data()};
        char joined[32];
        join_ucs2_arguments(joined, sizeof joined, 2, vector);
        EXPECT_EQ(std::string(joined), row.utf8) << testing::PrintToString(row.utf8);
    }
}

// The same words in UTF-16 and UTF-8 join to the same bytes as join_arguments makes, at every
// capacity, including where a cut falls inside a character and the bytes left untouched.
TEST(ShellArguments, JoinedExactlyAsJoinArgumentsJoins)
{
    struct Word {
        std::u16string wide;
        std::string utf8;
    };
    std::string e_acutes; // 130 two-byte characters, 260 bytes
    for (int i = 0; i < 130; i++)
        e_acutes += "\xc3\xa9";
    const std::vector<std::vector<Word>> cases = {
        {},
        {{u"1", "1"}},
        {{u"My", "My"}, {u"Item", "Item"}, {u"/noreboot", "/noreboot"}},
        {{u"", ""}, {u"", ""}, {u"x", "x"}},
        {{u"Caf\u00e9 \u20ac", "Caf\xc3\xa9 \xe2\x82\xac"},
         {u"\U0001F600/force", "\xf0\x9f\x98\x80/force"}},
        {{std::u16string(300, u'a'), std::string(300, 'a')}, {u"/noreboot", "/noreboot"}},
        {{std::u16string(130, u'\u00e9'), e_acutes}, {u"b", "b"}},
    };
    for (size_t number = 0; number < cases.size(); number++) {
        std::vector<std::u16string> wide = {u"quiplexefi.efi"};
        std::vector<std::string> utf8 = {"quiplexefi.efi"};
        for (const Word &word : cases[number]) {
            wide.push_back(word.wide);
            utf8.push_back(word.utf8);
        }
        std::vector<CHAR16 *> wide_vector;
        std::vector<char *> utf8_vector;
        for (size_t i = 0; i < wide.size(); i++) {
            wide_vector.push_back(wide[i].data());
            utf8_vector.push_back(utf8[i].data());
        }
        for (size_t capacity :
             {size_t(0), size_t(1), size_t(2), size_t(6), size_t(12), size_t(256), size_t(271)}) {
            SCOPED_TRACE(testing::Message() << "case " << number << ", capacity " << capacity);
            std::string joined(capacity + 1, '#');
            std::string expected(capacity + 1, '#');
            join_ucs2_arguments(joined.data(), capacity, wide_vector.size(), wide_vector.data());
            join_arguments(expected.data(), capacity, int(utf8_vector.size()), utf8_vector.data());
            EXPECT_EQ(joined, expected);
        }
    }
}

} // namespace
