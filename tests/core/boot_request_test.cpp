// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The command grammar: option cuts, numbers against names, keywords, limits and joining.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot_request.h"
#include "messages.h"

namespace {

struct GrammarCase {
    const char *command;
    StatusCode status;
    SelectionCode code;
    const char *selection;
    const char *run_file;
    bool no_reboot;
    bool force;
};

constexpr GrammarCase GRAMMAR_CASES[] = {
    {"", STATUS_INVALID_PARAMETER, 0, "", "", false, false},
    {"     ", STATUS_INVALID_PARAMETER, 0, "", "", false, false},
    {"0", STATUS_INVALID_PARAMETER, 0, "", "", false, false},
    {"/noreboot", STATUS_INVALID_PARAMETER, 0, "", "", true, false},
    {"/force", STATUS_INVALID_PARAMETER, 0, "", "", false, true},
    {"/run=x/noreboot 3", STATUS_INVALID_PARAMETER, 0, "", "x", true, false},
    {"1", STATUS_SUCCESS, 1, "", "", false, false},
    {"1/force", STATUS_SUCCESS, 1, "", "", false, true},
    {"1/run=Tools\\App.efi/NoReboot", STATUS_SUCCESS, 1, "", "Tools\\App.efi", true, false},
    {"1/run=tools/App.efi /NoReboot", STATUS_SUCCESS, 1, "", "tools/App.efi ", true, false},
    {"/shutdown/run=filename.ext", STATUS_SUCCESS, SELECTION_SHUTDOWN, "", "filename.ext", false,
     false},
    {"  My Item  /force", STATUS_SUCCESS, SELECTION_NAME, "My Item", "", false, true},
    {"/current", STATUS_SUCCESS, SELECTION_CURRENT, "", "", false, false},
    {"/CURRENT", STATUS_SUCCESS, SELECTION_CURRENT, "", "", false, false},
    {"/Next", STATUS_SUCCESS, SELECTION_NEXT, "", "", false, false},
    {"/nOnE", STATUS_SUCCESS, SELECTION_NONE, "", "", false, false},
    {"/Shutdown/NoReboot", STATUS_SUCCESS, SELECTION_SHUTDOWN, "", "", true, false},
    {"/foo", STATUS_SUCCESS, SELECTION_NAME, "/foo", "", false, false},
    {"/current x", STATUS_SUCCESS, SELECTION_NAME, "/current x", "", false, false},
    {"/hibernate", STATUS_SUCCESS, SELECTION_NAME, "/hibernate", "", false, false},
    {"65535", STATUS_SUCCESS, SELECTION_NAME, "65535", "", false, false},
    {"65531", STATUS_SUCCESS, SELECTION_CURRENT, "", "", false, false},
    {"2abc", STATUS_SUCCESS, SELECTION_NAME, "2abc", "", false, false},
    {"2 ", STATUS_SUCCESS, 2, "", "", false, false},
    {"2 /xyz", STATUS_SUCCESS, 2, "", "", false, false},
    {"1/xyz", STATUS_SUCCESS, 1, "", "", false, false},
    {"0 /x", STATUS_SUCCESS, SELECTION_NAME, "0 /x", "", false, false},
    {"&K", STATUS_SUCCESS, SELECTION_NAME, "&K", "", false, false},
    {"Win/RUN=A/B.EFI", STATUS_SUCCESS, SELECTION_NAME, "Win", "A/B.EFI", false, false},
    {"My/fOrCeItem", STATUS_SUCCESS, SELECTION_NAME, "My", "", false, true},
    {"/noreboot/force/run=", STATUS_INVALID_PARAMETER, 0, "", "", true, true},
    {"3/run=/noreboot", STATUS_SUCCESS, 3, "", "", true, false},
    {"/run=a.efi /current", STATUS_INVALID_PARAMETER, 0, "", "a.efi /current", false, false},
    // Asking for help must never write a request (and so never restart the machine).
    {"-h", STATUS_INVALID_PARAMETER, 0, "-h", "", false, false},
    {"--HELP", STATUS_INVALID_PARAMETER, 0, "--HELP", "", false, false},
    {"-?", STATUS_INVALID_PARAMETER, 0, "-?", "", false, false},
    {"/?", STATUS_INVALID_PARAMETER, 0, "/?", "", false, false},
    {" /Help /noreboot", STATUS_INVALID_PARAMETER, 0, "/Help", "", true, false},
    // An option word beside a selection is never part of a name.
    {"--help me", STATUS_INVALID_PARAMETER, 0, "", "", false, false},
    {"/helpers", STATUS_SUCCESS, SELECTION_NAME, "/helpers", "", false, false},
    {"Item-x", STATUS_SUCCESS, SELECTION_NAME, "Item-x", "", false, false},
};

class Grammar : public testing::TestWithParam<GrammarCase> {};

TEST_P(Grammar, TakesCommandApart)
{
    const GrammarCase &c = GetParam();
    BootRequest request;
    ASSERT_EQ(parse_boot_request(c.command, &request), c.status);
    EXPECT_EQ(request.no_reboot, c.no_reboot);
    EXPECT_EQ(request.force, c.force);
    EXPECT_STREQ(request.run_file, c.run_file);
    if (c.status != STATUS_SUCCESS)
        return;
    resolve_selection(&request);
    EXPECT_EQ(request.selection_code, c.code);
    EXPECT_STREQ(request.selection_text, c.selection);
}

INSTANTIATE_TEST_SUITE_P(Commands, Grammar, testing::ValuesIn(GRAMMAR_CASES));

TEST(Grammar, HelpRequestIsRefusedWhateverTheCase)
{
    BootRequest request;
    for (const char *help : {"-H", "--Help", "/HELP", "/hElP", "  -h  "})
        EXPECT_EQ(parse_boot_request(help, &request), STATUS_INVALID_PARAMETER) << help;
}

TEST(Grammar, EveryLetterAfterABlankAndADashIsAnOptionWord)
{
    BootRequest request;
    for (const char *command : {"2 -a", "2 -z", "2 -A", "2 -Z", "2\t-n", "\t-version"})
        EXPECT_EQ(parse_boot_request(command, &request), STATUS_INVALID_PARAMETER) << command;
}

TEST(Grammar, CommandIsCutAfter255Characters)
{
    // An option beyond the limit is not seen; one inside it is.
    std::string text = "5" + std::string(254, ' ') + "/noreboot";
    BootRequest request;
    ASSERT_EQ(parse_boot_request(text.c_str(), &request), STATUS_SUCCESS);
    EXPECT_FALSE(request.no_reboot);
    text = "5" + std::string(245, ' ') + "/noreboot";
    ASSERT_EQ(parse_boot_request(text.c_str(), &request), STATUS_SUCCESS);
    EXPECT_TRUE(request.no_reboot);
}

TEST(Grammar, SelectionIsCutTo50BeforeTrimming)
{
    BootRequest request;
    const std::string name(60, 'N');
    ASSERT_EQ(parse_boot_request(name.c_str(), &request), STATUS_SUCCESS);
    resolve_selection(&request);
    EXPECT_EQ(std::string(request.selection_text), std::string(50, 'N'));

    const std::string padded = std::string(10, ' ') + std::string(45, 'x');
    ASSERT_EQ(parse_boot_request(padded.c_str(), &request), STATUS_SUCCESS);
    EXPECT_EQ(std::string(request.selection_text), std::string(40, 'x'));
}

TEST(Grammar, RunFileIsCutTo63)
{
    const std::string text = "1/run=" + std::string(70, 'f');
    BootRequest request;
    ASSERT_EQ(parse_boot_request(text.c_str(), &request), STATUS_SUCCESS);
    EXPECT_EQ(std::string(request.run_file), std::string(63, 'f'));
}

TEST(Grammar, EarlierTextsDoNotLeakIntoNextParse)
{
    BootRequest request;
    ASSERT_EQ(parse_boot_request("1/run=old.efi", &request), STATUS_SUCCESS);
    ASSERT_EQ(parse_boot_request("2", &request), STATUS_SUCCESS);
    EXPECT_STREQ(request.run_file, "");
    // An invalid command ends the parse early; the texts it leaves must still read empty.
    ASSERT_EQ(parse_boot_request("Old Name", &request), STATUS_SUCCESS);
    ASSERT_EQ(parse_boot_request(" ", &request), STATUS_INVALID_PARAMETER);
    EXPECT_STREQ(request.selection_text, "");
}

TEST(Grammar, BytesFromHighHalfPassThroughUnchanged)
{
    BootRequest request;
    ASSERT_EQ(parse_boot_request("K\xe4se\xc3\xa4", &request), STATUS_SUCCESS);
    resolve_selection(&request);
    EXPECT_STREQ(request.selection_text, "K\xe4se\xc3\xa4");
}

TEST(Grammar, HibernateKeywordIsWholeSelectionOnly)
{
    BootRequest request;
    ASSERT_EQ(parse_boot_request("/hibernate/noreboot", &request), STATUS_SUCCESS);
    EXPECT_TRUE(selection_is_keyword(&request, "/HIBERNATE"));
    ASSERT_EQ(parse_boot_request("/hibernate x", &request), STATUS_SUCCESS);
    EXPECT_FALSE(selection_is_keyword(&request, "/HIBERNATE"));
}

struct JoinCase {
    std::vector<std::string> arguments; // without the program name
    std::string joined;
};

std::string join(const std::vector<std::string> &arguments, size_t capacity = COMMAND_CAPACITY)
{
    std::vector<char *> argv{const_cast<char *>("quiplexlnx")};
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    std::vector<char> buffer(capacity, '\0');
    join_arguments(buffer.data(), capacity, static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(buffer[capacity - 1], '\0');
    return std::string(buffer.data());
}

TEST(JoinArguments, JoinsWithSingleBlanks)
{
    const JoinCase cases[] = {
        {{}, ""},
        {{"3", "/noreboot"}, "3 /noreboot"},
        {{"My", "Item"}, "My Item"},
        {{"a", "", "b"}, "a  b"},
        {{""}, ""},
        {{std::string(300, 'x')}, std::string(255, 'x')},
        {{std::string(254, 'x'), "y"}, std::string(254, 'x') + " "},
        {{std::string(250, 'x'), "abcdefgh", "z"}, std::string(250, 'x') + " abcd"},
        {{std::string(253, 'x'), "y", "z"}, std::string(253, 'x') + " y"},
    };
    for (const JoinCase &c : cases)
        EXPECT_EQ(join(c.arguments), c.joined) << c.arguments.size() << " arguments";
}

TEST(JoinArguments, NoArgumentsLeavesBufferUntouched)
{
    char buffer[8] = "keep";
    char *argv[] = {const_cast<char *>("quiplexlnx")};
    join_arguments(buffer, sizeof buffer, 1, argv);
    join_arguments(buffer, sizeof buffer, 0, argv);
    EXPECT_STREQ(buffer, "keep");
}

TEST(JoinArguments, SmallCapacityNeverWritesLastByte)
{
    char buffer[2] = {'q', 'q'};
    char *argv[] = {const_cast<char *>("quiplexlnx"), const_cast<char *>("ab")};
    join_arguments(buffer, 0, 2, argv);
    EXPECT_EQ(buffer[0], 'q');
    join_arguments(buffer, 1, 2, argv);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'q');
    EXPECT_EQ(join({"abc", "def"}, 5), "abc ");
    EXPECT_EQ(join({"ab", "cd"}, 2), "a");
}

TEST(UsageText, ConsoleAndWindowsTexts)
{
    const std::string windows =
        "Usage: quiplexu bootselection[/run=filename][[/noreboot][/force]]\n\n"
        "bootselection can be any of the following:\n"
        "  Name       - identity of the boot item.\n"
        "  &K         - hot key of boot item.\n"
        "  1-n        - boot item number (from top of boot menu).\n"
        "  /Current   - boot last booted item.\n"
        "  /Next      - boot next boot item (wraps back to top)\n"
        "  /Shutdown  - shutdown system\n"
        "  /None      - show boot menu\n"
        "  /Hibernate - enable hibernation monitor mode\n\n"
        "Note: Do not place any whitespace between options.\n"
        " Examples:\n"
        "  quiplex 1/run=filename\n"
        "  quiplex /shutdown/run=filename.ext";
    EXPECT_EQ(USAGE_TEXT_WINDOWS, windows);
    // The console text: a version line first and no hibernation keyword.
    std::string console = "Version 1.03\n\n" + windows;
    const std::string hibernate = "  /Hibernate - enable hibernation monitor mode\n";
    console.erase(console.find(hibernate), hibernate.size());
    EXPECT_EQ(USAGE_TEXT_CONSOLE, console);
}

} // namespace
