// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The firmware's boot list through the named fake store: --status, --boot-next, --firmware-setup.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "boot_list.h"
#include "fake_store.h"
#include "recording_front_end.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct Variable {
    std::string name;
    Bytes value;
};
typedef std::vector<Variable> Variables;

Bytes u16(uint16_t value)
{
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
}

Bytes u64(uint64_t value)
{
    Bytes bytes;
    for (int i = 0; i < 8; i++)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return bytes;
}

Bytes order(std::initializer_list<uint16_t> numbers)
{
    Bytes bytes;
    for (uint16_t number : numbers)
        for (uint8_t byte : u16(number))
            bytes.push_back(byte);
    return bytes;
}

// An EFI_LOAD_OPTION: attributes, device-path length, the description and its NUL (unless
// `terminated` is false), then `path_bytes` bytes of device paths.
Bytes load_option(uint32_t attributes, const std::u16string &description, uint16_t path_length = 4,
                  size_t path_bytes = 4, bool terminated = true)
{
    Bytes bytes;
    for (int i = 0; i < 4; i++)
        bytes.push_back(static_cast<uint8_t>(attributes >> (8 * i)));
    for (uint8_t byte : u16(path_length))
        bytes.push_back(byte);
    for (char16_t unit : description)
        for (uint8_t byte : u16(unit))
            bytes.push_back(byte);
    if (terminated)
        bytes.insert(bytes.end(), {0, 0});
    bytes.insert(bytes.end(), path_bytes, 0x7F);
    return bytes;
}

const Bytes WINDOWS = load_option(1, u"Windows Boot Manager");
const Bytes ZARVEX = load_option(1, u"Zarvex UEFI");
const Variables WINDOWS_FIRST = {{"BootCurrent", u16(3)},
                                 {"BootOrder", order({0, 3})},
                                 {"Boot0000", WINDOWS},
                                 {"Boot0003", ZARVEX},
                                 {"OsIndicationsSupported", u64(1)}};

Variables with(Variables variables, const Variables &changes)
{
    for (const Variable &change : changes) {
        bool replaced = false;
        for (Variable &variable : variables)
            if (variable.name == change.name)
                variable.value = change.value, replaced = true;
        if (!replaced)
            variables.push_back(change);
    }
    Variables kept;
    for (const Variable &variable : variables)
        if (!variable.value.empty())
            kept.push_back(variable);
    return kept;
}

const std::string BOTH_ENTRIES = "{\"0000\":{\"description\":\"Windows Boot Manager\","
                                 "\"active\":true},\"0003\":{\"description\":\"Zarvex UEFI\","
                                 "\"active\":true}}";

std::string firmware(const std::string &current, const std::string &next_variable,
                     const std::string &boot_order, const std::string &next, const std::string &via,
                     const std::string &manager, const std::string &manager_next,
                     const std::string &entries, const std::string &setup = "null")
{
    return "{\"boot_current\":" + current + ",\"boot_next\":" + next_variable +
           ",\"boot_order\":" + boot_order + ",\"next\":" + next + ",\"next_via\":" + via +
           ",\"boot_manager_entry\":" + manager + ",\"boot_manager_next\":" + manager_next +
           ",\"entries\":" + entries + ",\"firmware_setup_supported\":" + setup + "}";
}

const std::string WARN_WINDOWS =
    "\nWarning: the firmware will start Boot0000 \"Windows Boot Manager\" next, not Zarvex UEFI "
    "(Boot0003): the request will not be read. quiplextest --boot-next COMMAND starts Zarvex "
    "UEFI once.";
const std::string THIS_START_3 = "\nFirmware: this start Boot0003 \"Zarvex UEFI\"; next start ";

struct BootListCase {
    const char *what;
    Variables variables;
    std::string firmware_json; // the "firmware" member
    std::string text;          // what --status adds after today's text
};

std::vector<BootListCase> boot_list_cases()
{
    std::vector<BootListCase> cases = {
        {"Windows took the first place", WINDOWS_FIRST,
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "\"0000\"", "\"boot_order\"",
                  "\"0003\"", "false", BOTH_ENTRIES, "true"),
         THIS_START_3 + "Boot0000 \"Windows Boot Manager\" (BootOrder)" + WARN_WINDOWS},
        {"BootNext set", with(WINDOWS_FIRST, {{"BootNext", u16(3)}}),
         firmware("\"0003\"", "\"0003\"", "[\"0000\",\"0003\"]", "\"0003\"", "\"boot_next\"",
                  "\"0003\"", "true", BOTH_ENTRIES, "true"),
         THIS_START_3 + "Boot0003 \"Zarvex UEFI\" (BootNext)"},
        {"BootNext dangling", with(WINDOWS_FIRST, {{"BootNext", u16(5)}}),
         firmware("\"0003\"", "\"0005\"", "[\"0000\",\"0003\"]", "\"0000\"", "\"boot_order\"",
                  "\"0003\"", "false", BOTH_ENTRIES, "true"),
         THIS_START_3 + "Boot0000 \"Windows Boot Manager\" (BootOrder)" + WARN_WINDOWS},
        {"inactive first entry",
         with(WINDOWS_FIRST, {{"Boot0000", load_option(0, u"Windows Boot Manager")}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "\"0003\"", "\"boot_order\"",
                  "\"0003\"", "true",
                  "{\"0000\":{\"description\":\"Windows Boot Manager\",\"active\":false},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "Boot0003 \"Zarvex UEFI\" (BootOrder)"},
        {"an application first: the firmware's setup screen is never started from BootOrder",
         with(WINDOWS_FIRST,
              {{"BootOrder", order({5, 0, 3})}, {"Boot0005", load_option(0x109, u"UiApp")}}),
         firmware("\"0003\"", "null", "[\"0005\",\"0000\",\"0003\"]", "\"0000\"", "\"boot_order\"",
                  "\"0003\"", "false",
                  "{\"0000\":{\"description\":\"Windows Boot Manager\",\"active\":true},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true},"
                  "\"0005\":{\"description\":\"UiApp\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "Boot0000 \"Windows Boot Manager\" (BootOrder)" + WARN_WINDOWS},
        {"several Zarvex entries: the one that started this system",
         with(WINDOWS_FIRST,
              {{"BootOrder", order({1, 0, 3})}, {"Boot0001", load_option(1, u"zarvex backup")}}),
         firmware("\"0003\"", "null", "[\"0001\",\"0000\",\"0003\"]", "\"0001\"", "\"boot_order\"",
                  "\"0003\"", "true",
                  "{\"0000\":{\"description\":\"Windows Boot Manager\",\"active\":true},"
                  "\"0001\":{\"description\":\"zarvex backup\",\"active\":true},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "Boot0001 \"zarvex backup\" (BootOrder)"},
        {"several Zarvex entries: the first in BootOrder",
         with(WINDOWS_FIRST,
              {{"BootCurrent", {}}, {"BootOrder", order({0, 3, 1})}, {"Boot0001", ZARVEX}}),
         firmware("null", "null", "[\"0000\",\"0003\",\"0001\"]", "\"0000\"", "\"boot_order\"",
                  "\"0003\"", "false",
                  "{\"0000\":{\"description\":\"Windows Boot Manager\",\"active\":true},"
                  "\"0001\":{\"description\":\"Zarvex UEFI\",\"active\":true},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         "\nFirmware: this start unknown; next start Boot0000 \"Windows Boot Manager\" "
         "(BootOrder)" +
             WARN_WINDOWS},
        {"two Zarvex entries, the higher number first in BootOrder",
         with(WINDOWS_FIRST,
              {{"BootCurrent", {}}, {"BootOrder", order({3, 1})}, {"Boot0001", ZARVEX}}),
         firmware("null", "null", "[\"0003\",\"0001\"]", "\"0003\"", "\"boot_order\"", "\"0003\"",
                  "true",
                  "{\"0001\":{\"description\":\"Zarvex UEFI\",\"active\":true},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         "\nFirmware: this start unknown; next start Boot0003 \"Zarvex UEFI\" (BootOrder)"},
        {"names that are not the whole word: Barvex, Zarve",
         {{"BootCurrent", u16(0)},
          {"BootOrder", order({0, 1})},
          {"Boot0000", load_option(1, u"Barvex")},
          {"Boot0001", load_option(1, u"Zarve")}},
         firmware("\"0000\"", "null", "[\"0000\",\"0001\"]", "\"0000\"", "\"boot_order\"", "null",
                  "false",
                  "{\"0000\":{\"description\":\"Barvex\",\"active\":true},"
                  "\"0001\":{\"description\":\"Zarve\",\"active\":true}}"),
         "\nFirmware: this start Boot0000 \"Barvex\"; next start Boot0000 \"Barvex\" (BootOrder)"},
        {"a Zarvex entry only BootNext names",
         {{"BootCurrent", u16(0)},
          {"BootNext", u16(7)},
          {"BootOrder", order({0})},
          {"Boot0000", WINDOWS},
          {"Boot0007", ZARVEX}},
         firmware("\"0000\"", "\"0007\"", "[\"0000\"]", "\"0007\"", "\"boot_next\"", "\"0007\"",
                  "true",
                  "{\"0000\":{\"description\":\"Windows Boot Manager\",\"active\":true},"
                  "\"0007\":{\"description\":\"Zarvex UEFI\",\"active\":true}}"),
         "\nFirmware: this start Boot0000 \"Windows Boot Manager\"; next start Boot0007 "
         "\"Zarvex UEFI\" (BootNext)"},
        {"no Zarvex entry",
         {{"BootCurrent", u16(0)},
          {"BootOrder", order({0})},
          {"Boot0000", WINDOWS},
          {"OsIndicationsSupported", u64(0x40)}},
         firmware("\"0000\"", "null", "[\"0000\"]", "\"0000\"", "\"boot_order\"", "null", "false",
                  "{\"0000\":{\"description\":\"Windows Boot Manager\",\"active\":true}}", "false"),
         "\nFirmware: this start Boot0000 \"Windows Boot Manager\"; next start Boot0000 "
         "\"Windows Boot Manager\" (BootOrder)"},
        {"an inactive Zarvex entry",
         with(WINDOWS_FIRST, {{"Boot0003", load_option(0, u"Zarvex UEFI")}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "\"0000\"", "\"boot_order\"", "null",
                  "false",
                  "{\"0000\":{\"description\":\"Windows Boot Manager\",\"active\":true},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":false}}",
                  "true"),
         THIS_START_3 + "Boot0000 \"Windows Boot Manager\" (BootOrder)" +
             "\nWarning: Zarvex UEFI's entry Boot0003 \"Zarvex UEFI\" is inactive: the firmware "
             "will not start it, and the request will not be read. Make it active again in the "
             "firmware's setup."},
        {"a Zarvex entry in capitals that only BootNext names, read before the others",
         {{"BootCurrent", u16(5)},
          {"BootNext", u16(1)},
          {"BootOrder", order({5})},
          {"Boot0001", load_option(1, u"ZARVEX UEFI")},
          {"Boot0005", WINDOWS}},
         firmware("\"0005\"", "\"0001\"", "[\"0005\"]", "\"0001\"", "\"boot_next\"", "\"0001\"",
                  "true",
                  "{\"0001\":{\"description\":\"ZARVEX UEFI\",\"active\":true},"
                  "\"0005\":{\"description\":\"Windows Boot Manager\",\"active\":true}}"),
         "\nFirmware: this start Boot0005 \"Windows Boot Manager\"; next start Boot0001 "
         "\"ZARVEX UEFI\" (BootNext)"},
        {"an entry BootOrder does not name is not read",
         {{"BootOrder", order({3})}, {"Boot0000", WINDOWS}, {"Boot0003", ZARVEX}},
         firmware("null", "null", "[\"0003\"]", "\"0003\"", "\"boot_order\"", "\"0003\"", "true",
                  "{\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}"),
         "\nFirmware: this start unknown; next start Boot0003 \"Zarvex UEFI\" (BootOrder)"},
        {"only an inactive entry in BootOrder: no next start, whatever else was read",
         {{"BootCurrent", u16(0)},
          {"BootOrder", order({5})},
          {"Boot0000", WINDOWS},
          {"Boot0005", load_option(0, u"Old")}},
         firmware("\"0000\"", "null", "[\"0005\"]", "null", "null", "null", "null",
                  "{\"0000\":{\"description\":\"Windows Boot Manager\",\"active\":true},"
                  "\"0005\":{\"description\":\"Old\",\"active\":false}}"),
         "\nFirmware: this start Boot0000 \"Windows Boot Manager\"; next start unknown"},
        // The 6-byte header, 21 units of description with its NUL, device paths to 4,096.
        {"a value of exactly 4,096 bytes is read",
         with(WINDOWS_FIRST,
              {{"Boot0000", load_option(1, u"Windows Boot Manager", 4, 4096 - 6 - 42)}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "\"0000\"", "\"boot_order\"",
                  "\"0003\"", "false", BOTH_ENTRIES, "true"),
         THIS_START_3 + "Boot0000 \"Windows Boot Manager\" (BootOrder)" + WARN_WINDOWS},
        {"an entry of its header alone", with(WINDOWS_FIRST, {{"Boot0000", {1, 0, 0, 0, 0, 0}}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "null", "null", "\"0003\"", "null",
                  "{\"0000\":{\"description\":\"\",\"active\":null},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "unknown"},
        {"this start from an entry shorter than its header",
         with(WINDOWS_FIRST, {{"BootCurrent", u16(0)}, {"Boot0000", {1, 0, 0, 0, 4}}}),
         firmware("\"0000\"", "null", "[\"0000\",\"0003\"]", "null", "null", "\"0003\"", "null",
                  "{\"0000\":{\"description\":null,\"active\":null},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         "\nFirmware: this start Boot0000; next start unknown"},
        {"no boot variable", {}, std::string(FIRMWARE_UNKNOWN_JSON).substr(12), ""},
        // Every hostile shape gives unknown or a cut description, never another status.
        {"BootOrder of odd length",
         with(WINDOWS_FIRST, {{"BootOrder", {0, 0, 3}}, {"OsIndicationsSupported", u16(1)}}),
         firmware("\"0003\"", "null", "null", "null", "null", "\"0003\"", "null",
                  "{\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}"),
         THIS_START_3 + "unknown"},
        {"BootCurrent and BootNext of four bytes",
         with(WINDOWS_FIRST, {{"BootCurrent", {3, 0, 0, 0}}, {"BootNext", {3, 0, 0, 0}}}),
         firmware("null", "null", "[\"0000\",\"0003\"]", "null", "null", "\"0003\"", "null",
                  BOTH_ENTRIES, "true"),
         "\nFirmware: this start unknown; next start unknown"},
        {"entry shorter than its header", with(WINDOWS_FIRST, {{"Boot0000", {1, 0, 0, 0, 4}}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "null", "null", "\"0003\"", "null",
                  "{\"0000\":{\"description\":null,\"active\":null},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "unknown"},
        {"description without its NUL",
         with(WINDOWS_FIRST, {{"Boot0000", load_option(1, u"Win", 0, 0, false)}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "null", "null", "\"0003\"", "null",
                  "{\"0000\":{\"description\":\"Win\",\"active\":null},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "unknown"},
        {"description running past the value by one byte",
         with(WINDOWS_FIRST, {{"Boot0000", {1, 0, 0, 0, 0, 0, 'W', 0, 0}}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "null", "null", "\"0003\"", "null",
                  "{\"0000\":{\"description\":\"W\",\"active\":null},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "unknown"},
        {"device paths past the value",
         with(WINDOWS_FIRST, {{"Boot0000", load_option(1, u"Windows Boot Manager", 5, 4)}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "null", "null", "\"0003\"", "null",
                  "{\"0000\":{\"description\":\"Windows Boot Manager\",\"active\":null},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "unknown"},
        {"a value too long to read",
         with(WINDOWS_FIRST, {{"Boot0000", load_option(1, u"Windows", 4, 4100)}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "null", "null", "\"0003\"", "null",
                  "{\"0000\":{\"description\":null,\"active\":null},"
                  "\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "unknown"},
        {"control and non-ASCII units",
         with(WINDOWS_FIRST, {{"Boot0000", load_option(1, u"Win\u00E9\x1B[2J\u20AC\"\\\x7F")}}),
         firmware("\"0003\"", "null", "[\"0000\",\"0003\"]", "\"0000\"", "\"boot_order\"",
                  "\"0003\"", "false",
                  "{\"0000\":{\"description\":\"Win\\u00E9\\u001B[2J\\u20AC\\\"\\\\\\u007F\","
                  "\"active\":true},\"0003\":{\"description\":\"Zarvex UEFI\",\"active\":true}}",
                  "true"),
         THIS_START_3 + "Boot0000 \"Win\\u00E9\\x1B[2J\\u20AC\\x22\\\\u007F\" (BootOrder)" +
             "\nWarning: the firmware will start Boot0000 \"Win\\u00E9\\x1B[2J\\u20AC\\x22\\"
             "\\u007F\" next, not Zarvex UEFI (Boot0003): the request will not be read. "
             "quiplextest --boot-next COMMAND starts Zarvex UEFI once."},
        {"a description cut after 64 units, its name still found",
         {{"BootOrder", order({3})},
          {"Boot0003", load_option(1, std::u16string(70, u'x') + u" Zarvex")}},
         firmware("null", "null", "[\"0003\"]", "\"0003\"", "\"boot_order\"", "\"0003\"", "true",
                  "{\"0003\":{\"description\":\"" + std::string(64, 'x') + "\",\"active\":true}}"),
         "\nFirmware: this start unknown; next start Boot0003 \"" + std::string(64, 'x') +
             "\" (BootOrder)"},
    };
    // More than 256 entries: the first 256 are looked at, the rest never read.
    std::vector<uint16_t> many;
    for (uint16_t i = 0; i < 300; i++)
        many.push_back(static_cast<uint16_t>(0x100 + i));
    many.back() = 3;
    Bytes many_bytes;
    std::string many_json = "[";
    for (size_t i = 0; i < many.size(); i++) {
        many_bytes.insert(many_bytes.end(),
                          {static_cast<uint8_t>(many[i]), static_cast<uint8_t>(many[i] >> 8)});
        if (i < BOOT_ORDER_CAPACITY) {
            char number[8];
            snprintf(number, sizeof number, "\"%04X\"", many[i]);
            many_json += (i == 0 ? "" : ",") + std::string(number);
        }
    }
    cases.push_back(
        {"300 entries in BootOrder",
         {{"BootOrder", many_bytes}, {"Boot0003", ZARVEX}},
         firmware("null", "null", many_json + "]", "null", "null", "null", "null", "{}"),
         "\nFirmware: this start unknown; next start unknown"});
    return cases;
}

void start_case(const Variables &variables, bool boot_manager = true)
{
    reset_fake_store();
    use_named_variables();
    if (boot_manager)
        set_fake_variable("ZarvexUEFI", reinterpret_cast<const uint8_t *>("Zv\1\0"), 4);
    for (const Variable &variable : variables)
        set_fake_variable(variable.name.c_str(), variable.value.data(), variable.value.size());
}

Bytes value_of(const char *name)
{
    const uint8_t *data = nullptr;
    const size_t size = fake_value(name, &data);
    return Bytes(data, data + size);
}

TEST(BootList, StatusShowsTheNextStartAndWarns)
{
    for (const BootListCase &c : boot_list_cases()) {
        SCOPED_TRACE(c.what);
        start_case(c.variables);
        EXPECT_EQ(run_recorded_pass("--status=json"), 0);
        EXPECT_EQ(recorded.messages,
                  std::vector<std::string>{"data: {\"status\":0,\"boot_manager\":true,"
                                           "\"request\":null,\"firmware\":" +
                                           c.firmware_json + "}"});
        EXPECT_EQ(run_recorded_pass("--status"), 0);
        EXPECT_EQ(
            recorded.messages,
            std::vector<std::string>{"info: Zarvex UEFI: found\nPending request: none" + c.text});
        EXPECT_EQ(fake_store.writes, 0);
    }
}

TEST(BootList, ReadsOnlyTheEntriesTheListNames)
{
    start_case(with(WINDOWS_FIRST, {{"BootNext", u16(9)}}));
    BootList *list = new BootList;
    read_boot_list(list);
    EXPECT_EQ(list->entry_count, 2u);
    EXPECT_EQ(find_boot_entry(list, 9), nullptr);
    EXPECT_TRUE(list->manager_known);
    delete list;
    // BootCurrent, BootNext, BootOrder, OsIndicationsSupported, then Boot0003, Boot0009 and
    // Boot0000: BootOrder's Boot0003 is not read again.
    EXPECT_EQ(fake_store.reads, 4 + 3);
}

const Bytes ITEM_2 = {2, 0, 0, 0, 0, 0};
const std::string ENTRY_NOT_FOUND =
    "Zarvex UEFI's entry in the firmware's boot list was not found; nothing was changed.";
const std::string BOOT_NEXT_FAILED =
    "The request was written, but BootNext could not be set: the request stays pending, and the "
    "machine does not restart.";
const std::string WOULD_WRITE_2 = "Would write: item 2\nRun file: none\nSize: 6 bytes, "
                                  "attributes 0x00000007";
const std::string WRITTEN_2 = "written: Pending request: item 2\nRun file: none\nSize: 6 bytes, "
                              "attributes 0x00000007";
const std::string REQUEST_2_JSON = "{\"code\":2,\"kind\":\"item\",\"keyword\":null,"
                                   "\"selection\":\"\",\"run_file\":\"\",\"attributes\":7,"
                                   "\"size\":6}";

struct ChangeCase {
    std::string command;
    Variables variables;
    bool boot_manager;
    const char *failing_write; // the one write that answers 77
    int status;
    int usages;
    std::vector<std::string> messages;
    std::vector<bool> restarts;
    Bytes pending, boot_next, os_indications; // after the run; empty: absent
    std::vector<std::string> records;
};

const Variables NO_ZARVEX_ENTRY = {{"BootOrder", order({0})}, {"Boot0000", WINDOWS}};

std::string repeated(const std::string &text, size_t count)
{
    std::string all;
    while (count-- > 0)
        all += text;
    return all;
}

// The longest failure record: a long message and a command of 255 bytes, every one escaped.
const std::string CONTROL_COMMAND = "--boot-next " + std::string(243, '\x01');
Bytes control_name_payload() // the name as written: its first 50 bytes
{
    Bytes payload = {0xFF, 0xFF, 0, 0};
    payload.insert(payload.end(), 50, 0x01);
    payload.insert(payload.end(), {0, 0});
    return payload;
}
const Variables SETUP = {{"OsIndicationsSupported", u64(0x41)}};

// clang-format off
const ChangeCase CHANGE_CASES[] = {
    {"--boot-next 2", WINDOWS_FIRST, true, nullptr, 0, 0, {}, {false}, ITEM_2, u16(3), {},
     {WRITTEN_2 + "\nBootNext: Boot0003 \"Zarvex UEFI\"\nThen: restart"}},
    {" --BOOT-NEXT 2/noreboot", with(WINDOWS_FIRST, {{"BootNext", u16(0)}}), true, nullptr, 0, 0,
     {}, {}, ITEM_2, u16(3), {},
     {WRITTEN_2 + "\nBootNext: Boot0003 \"Zarvex UEFI\"\nThen: no restart (/noreboot)"}},
    {"--boot-next 2",
     {{"BootOrder", order({0, 0x1A3})}, {"Boot0000", WINDOWS}, {"Boot01A3", ZARVEX}}, true,
     nullptr, 0, 0, {}, {false}, ITEM_2, u16(0x1A3), {},
     {WRITTEN_2 + "\nBootNext: Boot01A3 \"Zarvex UEFI\"\nThen: restart"}},
    {"--boot-next 2", NO_ZARVEX_ENTRY, true, nullptr, 8, 0, {"failure: " + ENTRY_NOT_FOUND}, {},
     {}, {}, {}, {"failed 8: " + ENTRY_NOT_FOUND + "\nCommand: \"--boot-next 2\""}},
    {"--boot-next 2", WINDOWS_FIRST, false, nullptr, 8, 0, {}, {}, {}, {}, {},
     {"failed 8: Zarvex UEFI was not found.\nCommand: \"--boot-next 2\""}},
    {"--boot-next 2", WINDOWS_FIRST, true, "BootNext", 77, 0, {"failure: " + BOOT_NEXT_FAILED},
     {}, ITEM_2, {}, {},
     {WRITTEN_2 + "\nThen: restart", "failed 77: " + BOOT_NEXT_FAILED + "\nCommand: \"--boot-next 2\""}},
    {CONTROL_COMMAND, WINDOWS_FIRST, true, "BootNext", 77, 0, {"failure: " + BOOT_NEXT_FAILED}, {},
     control_name_payload(), {}, {},
     {"written: Pending request: name \"" + repeated("\\x01", 50) + "\"\nRun file: none\n"
      "Size: 56 bytes, attributes 0x00000007\nThen: restart",
      "failed 77: " + BOOT_NEXT_FAILED + "\nCommand: \"--boot-next " + repeated("\\x01", 243) +
          "\""}},
    {"--boot-next 2", WINDOWS_FIRST, true, "Quiplex", 77, 0, {}, {}, {}, {}, {},
     {"failed 77: Unable to configure system!\nCommand: \"--boot-next 2\""}},
    {"--boot-next --status", WINDOWS_FIRST, true, nullptr, 61, 1, {}, {}, {}, {}, {},
     {"failed 61: The command is not valid.\nCommand: \"--boot-next --status\""}},
    {"--boot-next", WINDOWS_FIRST, true, nullptr, 61, 1, {}, {}, {}, {}, {},
     {"failed 61: The command is not valid.\nCommand: \"--boot-next\""}},
    {"--boot-next 2 -n", WINDOWS_FIRST, true, nullptr, 61, 1, {}, {}, {}, {}, {},
     {"failed 61: The command is not valid.\nCommand: \"--boot-next 2 -n\""}},
    {"--dry-run --boot-next 2", WINDOWS_FIRST, true, nullptr, 0, 0,
     {"info: " + WOULD_WRITE_2 + "\nBootNext: Boot0003 \"Zarvex UEFI\"\nThen: restart"}, {}, {},
     {}, {}, {}},
    {"--dry-run=json --boot-next 2/noreboot", WINDOWS_FIRST, true, nullptr, 0, 0,
     {"data: {\"status\":0,\"request\":" + REQUEST_2_JSON +
      ",\"restart\":false,\"force\":false,\"boot_next\":\"0003\"}"}, {}, {}, {}, {}, {}},
    {"--dry-run=json --boot-next 2", NO_ZARVEX_ENTRY, true, nullptr, 8, 0,
     {"data: {\"status\":8,\"request\":null,\"boot_next\":null}"}, {}, {}, {}, {}, {}},
    {"--dry-run --boot-next 2", NO_ZARVEX_ENTRY, true, nullptr, 8, 0,
     {"failure: " + ENTRY_NOT_FOUND}, {}, {}, {}, {}, {}},
    {"--dry-run=json --boot-next --cancel", WINDOWS_FIRST, true, nullptr, 61, 0,
     {"data: {\"status\":61,\"request\":null}"}, {}, {}, {}, {}, {}},
    // The firmware's setup needs no Zarvex UEFI, and keeps the other bits of OsIndications.
    {"--firmware-setup", SETUP, false, nullptr, 0, 0,
     {"info: The next start opens the firmware's setup."}, {false}, {}, {}, u64(1),
     {"written: The next start opens the firmware's setup."}},
    {"--Firmware-Setup /noreboot", with(SETUP, {{"OsIndications", u64(0x8000000000000040)}}), true,
     nullptr, 0, 0, {"info: The next start opens the firmware's setup."}, {}, {}, {},
     u64(0x8000000000000041), {"written: The next start opens the firmware's setup."}},
    {"--firmware-setup", with(SETUP, {{"OsIndications", {0x40, 0, 0, 0}}}), true, nullptr, 0, 0,
     {"info: The next start opens the firmware's setup."}, {false}, {}, {}, u64(0x41),
     {"written: The next start opens the firmware's setup."}},
    {"--firmware-setup/force", with(SETUP, {{"OsIndications", u64(1)}}), true, nullptr, 0, 0,
     {"info: The next start opens the firmware's setup."}, {true}, {}, {}, u64(1), {}},
    {"--firmware-setup", {{"OsIndicationsSupported", u64(0x40)}, {"OsIndications", u64(0x40)}},
     true, nullptr, 76, 0, {"failure: This firmware cannot start its setup on request."}, {}, {},
     {}, u64(0x40),
     {"failed 76: This firmware cannot start its setup on request.\nCommand: \"--firmware-setup\""}},
    {"--firmware-setup", {{"OsIndicationsSupported", u16(1)}}, true, nullptr, 76, 0,
     {"failure: This firmware cannot start its setup on request."}, {}, {}, {}, {},
     {"failed 76: This firmware cannot start its setup on request.\nCommand: \"--firmware-setup\""}},
    {"--firmware-setup", {}, true, nullptr, 76, 0,
     {"failure: This firmware cannot start its setup on request."}, {}, {}, {}, {},
     {"failed 76: This firmware cannot start its setup on request.\nCommand: \"--firmware-setup\""}},
    {"--firmware-setup", SETUP, true, "OsIndications", 77, 0,
     {"failure: Unable to ask the firmware to start its setup."}, {}, {}, {}, {},
     {"failed 77: Unable to ask the firmware to start its setup.\nCommand: \"--firmware-setup\""}},
    {"--firmware-setup 2", SETUP, true, nullptr, 61, 1, {}, {}, {}, {}, {},
     {"failed 61: The command is not valid.\nCommand: \"--firmware-setup 2\""}},
    {"--cancel-firmware-setup", with(SETUP, {{"OsIndications", u64(0x41)}}), true, nullptr, 0, 0,
     {"info: The next start no longer opens the firmware's setup."}, {}, {}, {}, u64(0x40),
     {"written: The next start no longer opens the firmware's setup."}},
    {"--cancel-firmware-setup", SETUP, false, nullptr, 0, 0,
     {"info: The firmware's setup was not requested."}, {}, {}, {}, {}, {}},
    {"--cancel-firmware-setup", {{"OsIndications", u64(1)}}, true, "OsIndications", 77, 0,
     {"failure: Unable to take back the request for the firmware's setup."}, {}, {}, {}, u64(1),
     {"failed 77: Unable to take back the request for the firmware's setup.\n"
      "Command: \"--cancel-firmware-setup\""}},
};
// clang-format on

TEST(BootList, BootNextAndFirmwareSetupChangeOnlyWhatTheySay)
{
    for (const ChangeCase &c : CHANGE_CASES) {
        SCOPED_TRACE(c.command);
        start_case(c.variables, c.boot_manager);
        fake_store.failing_write = c.failing_write;
        fake_store.write_status = c.failing_write != nullptr ? STATUS_WRITE_FAILED : 0;
        EXPECT_EQ(run_recorded_pass(c.command.c_str()), c.status);
        EXPECT_EQ(recorded.usages, c.usages);
        EXPECT_EQ(recorded.messages, c.messages);
        EXPECT_EQ(recorded.restarts, c.restarts);
        EXPECT_EQ(recorded.records, c.records);
        EXPECT_EQ(value_of("Quiplex"), c.pending);
        Bytes boot_next = c.boot_next; // empty: as it was
        for (const Variable &variable : c.variables)
            if (boot_next.empty() && variable.name == "BootNext")
                boot_next = variable.value;
        EXPECT_EQ(value_of("BootNext"), boot_next);
        EXPECT_EQ(value_of("OsIndications"), c.os_indications);
        if (!c.boot_next.empty()) {
            EXPECT_EQ(fake_variable("BootNext")->attributes, GLOBAL_ATTRIBUTES);
        }
        if (!c.os_indications.empty() && !c.records.empty()) {
            EXPECT_EQ(fake_variable("OsIndications")->attributes, GLOBAL_ATTRIBUTES);
        }
    }
}

struct LoadOptionCase {
    Bytes value;
    StatusCode status;
    uint32_t attributes;
    size_t description_units;
};

TEST(BootList, DecodesLoadOptionsWithinTheValue)
{
    const LoadOptionCase cases[] = {
        {{}, STATUS_CORRUPT, 0, 0},
        {{1, 0, 0, 0, 4}, STATUS_CORRUPT, 0, 0},
        {{1, 0, 0, 0, 0, 0}, STATUS_CORRUPT, 1, 0},
        {{1, 0, 0, 0, 0, 0, 0}, STATUS_CORRUPT, 1, 0}, // half a unit
        {{1, 0, 0, 0, 0, 0, 0, 0}, STATUS_SUCCESS, 1, 0},
        {{9, 0, 0, 0x80, 1, 0, 'A', 0, 0, 0}, STATUS_CORRUPT, 0x80000009, 1},
        {{9, 0, 0, 0x80, 1, 0, 'A', 0, 0, 0, 0x7F}, STATUS_SUCCESS, 0x80000009, 1},
        {load_option(1, u"Zarvex", 0xFFFF, 4), STATUS_CORRUPT, 1, 6},
        {load_option(1, u"Zarvex", 4, 4), STATUS_SUCCESS, 1, 6},
    };
    for (const LoadOptionCase &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.value));
        // An exact-size copy, so a read past the value is one past the allocation.
        uint8_t *value = new uint8_t[c.value.size() + 1];
        if (!c.value.empty())
            memcpy(value, c.value.data(), c.value.size());
        LoadOption option;
        EXPECT_EQ(decode_load_option(value, c.value.size(), &option), c.status);
        EXPECT_EQ(option.attributes, c.attributes);
        EXPECT_EQ(option.description_units, c.description_units);
        delete[] value;
    }
}

} // namespace
