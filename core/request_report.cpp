// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The stored-request decoder and its text and JSON descriptions, over a bounded text builder.
#include "request_report.h"

#include <limits.h>

#include "boot_list.h"
#include "boot_request.h"
#include "variable_store.h"

namespace {

struct Keyword {
    SelectionCode code;
    const char *text;
};

constexpr Keyword KEYWORDS[] = {
    {SELECTION_CURRENT, "/Current"},
    {SELECTION_NEXT, "/Next"},
    {SELECTION_SHUTDOWN, "/Shutdown"},
    {SELECTION_NONE, "/None"},
};

constexpr const char *KIND_NAMES[] = {"item", "keyword", "name", "hot_key"};

// Appends to a fixed buffer and keeps it terminated; what does not fit is dropped.
struct Text {
    char *out;
    size_t capacity;
    size_t length;

    void put(char c)
    {
        if (capacity == 0)
            return;
        if (length + 1 < capacity)
            out[length++] = c;
        out[length] = '\0';
    }
    void put(const char *text)
    {
        while (*text != '\0')
            put(*text++);
    }
    void put_unsigned(uint64_t value, unsigned base = 10, unsigned digits = 1)
    {
        char reversed[sizeof value * CHAR_BIT]; // the most digits there are: base 2
        unsigned n = 0;
        while (value != 0 || n < digits) {
            // cppcheck takes value != 0 for a guard of the divisor, which is base (10 or 16).
            reversed[n++] = "0123456789ABCDEF"[value % base]; // cppcheck-suppress zerodivcond
            value /= base;
        }
        while (n > 0)
            put(reversed[--n]);
    }
    void put_hex_byte(uint8_t byte)
    {
        put("0123456789ABCDEF"[byte >> 4]);
        put("0123456789ABCDEF"[byte & 0xF]);
    }
};

bool printable(uint8_t byte)
{
    return byte >= 0x20 && byte <= 0x7E;
}

// One unit of a stored text, a byte of a request or a UCS-2 unit of a firmware description:
// printable ASCII as it is, a UCS-2 unit above 0x7E as \uNNNN, any other as \xNN (text) or
// \u00NN (JSON). Text quotes a quote; JSON a quote and a backslash.
void put_escaped_unit(Text *text, uint16_t unit, bool wide, bool json)
{
    if (json && (unit == '"' || unit == '\\')) {
        text->put('\\');
        text->put(static_cast<char>(unit));
    } else if (unit <= 0xFF && printable(static_cast<uint8_t>(unit)) && (json || unit != '"')) {
        text->put(static_cast<char>(unit));
    } else if (unit > 0x7E && (wide || json)) {
        text->put("\\u");
        text->put_unsigned(unit, 16, 4);
    } else {
        text->put(json ? "\\u00" : "\\x");
        text->put_hex_byte(static_cast<uint8_t>(unit));
    }
}

// A quoted text of `length` bytes, or of `length` UCS-2 units when `units` is given.
void put_escaped(Text *text, const uint8_t *bytes, const uint16_t *units, size_t length, bool json)
{
    text->put('"');
    if (units != nullptr) {
        for (size_t i = 0; i < length; i++)
            put_escaped_unit(text, units[i], true, json);
    } else {
        for (size_t i = 0; i < length; i++)
            put_escaped_unit(text, bytes[i], false, json);
    }
    text->put('"');
}

void put_quoted_text(Text *text, const uint8_t *bytes, size_t length)
{
    put_escaped(text, bytes, nullptr, length, false);
}

void put_json_string(Text *text, const uint8_t *bytes, size_t length)
{
    put_escaped(text, bytes, nullptr, length, true);
}

// "&" and one character, which may be a UTF-8 sequence of continuation bytes after its lead.
bool is_hot_key(const uint8_t *selection, size_t length)
{
    if (length < 2 || length > 5 || selection[0] != '&')
        return false;
    for (size_t i = 2; i < length; i++) {
        if ((selection[i] & 0xC0) != 0x80)
            return false;
    }
    return length == 2 || selection[1] >= 0xC0;
}

size_t text_length(const uint8_t *from, const uint8_t *end)
{
    size_t length = 0;
    while (from + length < end && from[length] != 0)
        length++;
    return length;
}

void put_request_line(Text *text, const RequestView *view)
{
    switch (view->kind) {
    case REQUEST_KEYWORD:
        text->put(view->keyword);
        break;
    case REQUEST_ITEM:
        text->put("item ");
        text->put_unsigned(view->code);
        break;
    case REQUEST_HOT_KEY:
        text->put("hot key ");
        put_quoted_text(text, view->selection, view->selection_length);
        break;
    case REQUEST_NAME:
        text->put("name ");
        put_quoted_text(text, view->selection, view->selection_length);
        break;
    }
}

void put_attributes(Text *text, uint32_t attributes)
{
    text->put("0x");
    text->put_unsigned(attributes, 16, 8);
}

// The lines after the request line: the run file, the size and, when known, the attributes.
void put_request_details(Text *text, const RequestView *view, const uint32_t *attributes)
{
    text->put("\nRun file: ");
    if (view->run_file_length == 0)
        text->put("none");
    else
        put_quoted_text(text, view->run_file, view->run_file_length);
    text->put("\nSize: ");
    text->put_unsigned(view->size);
    text->put(" bytes");
    if (attributes != nullptr) {
        text->put(", attributes ");
        put_attributes(text, *attributes);
    }
}

void put_request_json(Text *text, const RequestView *view, const uint32_t *attributes)
{
    text->put("{\"code\":");
    text->put_unsigned(view->code);
    text->put(",\"kind\":\"");
    text->put(KIND_NAMES[view->kind]);
    text->put("\",\"keyword\":");
    if (view->keyword != nullptr) {
        text->put('"');
        text->put(view->keyword);
        text->put('"');
    } else {
        text->put("null");
    }
    text->put(",\"selection\":");
    put_json_string(text, view->selection, view->selection_length);
    text->put(",\"run_file\":");
    put_json_string(text, view->run_file, view->run_file_length);
    text->put(",\"attributes\":");
    if (attributes != nullptr)
        text->put_unsigned(*attributes);
    else
        text->put("null");
    text->put(",\"size\":");
    text->put_unsigned(view->size);
    text->put("}");
}

void put_entry_number(Text *text, uint16_t number)
{
    text->put_unsigned(number, 16, 4);
}

// Boot#### and, when it was read, its description.
void put_entry(Text *text, const BootList *list, uint16_t number)
{
    text->put("Boot");
    put_entry_number(text, number);
    const BootEntry *entry = find_boot_entry(list, number);
    if (entry != nullptr && entry->description_known) {
        text->put(' ');
        put_escaped(text, nullptr, entry->description, entry->description_units, false);
    }
}

void put_json_number(Text *text, bool known, uint16_t number)
{
    if (!known) {
        text->put("null");
        return;
    }
    text->put('"');
    put_entry_number(text, number);
    text->put('"');
}

void put_boot_list_text(Text *text, const BootList *list, const char *program_name)
{
    if (list == nullptr || !list->any)
        return;
    text->put("\nFirmware: this start ");
    if (list->current.state == VALUE_KNOWN)
        put_entry(text, list, list->current.value);
    else
        text->put("unknown");
    text->put("; next start ");
    if (list->next_known) {
        put_entry(text, list, list->next);
        text->put(list->next_via_boot_next ? " (BootNext)" : " (BootOrder)");
    } else {
        text->put("unknown");
    }
    const bool through_manager = list->next_through_manager;
    if (list->manager_known && list->next_known && !through_manager) {
        text->put("\nWarning: the firmware will start ");
        put_entry(text, list, list->next);
        text->put(" next, not Zarvex UEFI (Boot");
        put_entry_number(text, list->manager);
        text->put("): the request will not be read. ");
        text->put(program_name != nullptr ? program_name : "quiplex");
        text->put(" --boot-next COMMAND starts Zarvex UEFI once.");
    } else if (!list->manager_known && list->inactive_manager_known && !through_manager) {
        text->put("\nWarning: Zarvex UEFI's entry ");
        put_entry(text, list, list->inactive_manager);
        text->put(" is inactive: the firmware will not start it, and the request will not be "
                  "read. Make it active again in the firmware's setup.");
    }
}

void put_boot_list_json(Text *text, const BootList *list)
{
    if (list == nullptr) {
        text->put(",\"firmware\":{\"boot_current\":null,\"boot_next\":null,\"boot_order\":null,"
                  "\"next\":null,\"next_via\":null,\"boot_manager_entry\":null,"
                  "\"boot_manager_next\":null,\"entries\":{},\"firmware_setup_supported\":null}");
        return;
    }
    text->put(",\"firmware\":{\"boot_current\":");
    put_json_number(text, list->current.state == VALUE_KNOWN, list->current.value);
    text->put(",\"boot_next\":");
    put_json_number(text, list->next_variable.state == VALUE_KNOWN, list->next_variable.value);
    text->put(",\"boot_order\":");
    if (list->order_state == VALUE_KNOWN) {
        text->put('[');
        for (size_t i = 0; i < list->order_count; i++) {
            if (i > 0)
                text->put(',');
            put_json_number(text, true, list->order[i]);
        }
        text->put(']');
    } else {
        text->put("null");
    }
    text->put(",\"next\":");
    put_json_number(text, list->next_known, list->next);
    text->put(",\"next_via\":");
    text->put(!list->next_known          ? "null"
              : list->next_via_boot_next ? "\"boot_next\""
                                         : "\"boot_order\"");
    text->put(",\"boot_manager_entry\":");
    put_json_number(text, list->manager_known, list->manager);
    text->put(",\"boot_manager_next\":");
    text->put(!list->next_known ? "null" : list->next_through_manager ? "true" : "false");
    text->put(",\"entries\":{");
    for (size_t i = 0; i < list->entry_count; i++) {
        const BootEntry &entry = list->entries[i];
        if (i > 0)
            text->put(',');
        put_json_number(text, true, entry.number);
        text->put(":{\"description\":");
        if (entry.description_known)
            put_escaped(text, nullptr, entry.description, entry.description_units, true);
        else
            text->put("null");
        text->put(",\"active\":");
        text->put(entry.state != ENTRY_VALID                     ? "null"
                  : (entry.attributes & LOAD_OPTION_ACTIVE) != 0 ? "true"
                                                                 : "false");
        text->put('}');
    }
    text->put("},\"firmware_setup_supported\":");
    text->put(list->setup_state != VALUE_KNOWN ? "null" : list->setup_supported ? "true" : "false");
    text->put('}');
}

// The line of a --boot-next run on what BootNext becomes.
void put_boot_next_line(Text *text, const BootList *list)
{
    if (list == nullptr || !list->manager_known)
        return;
    text->put("\nBootNext: ");
    put_entry(text, list, list->manager);
}

void put_boot_next_json(Text *text, const BootList *list)
{
    if (list == nullptr)
        return;
    text->put(",\"boot_next\":");
    put_json_number(text, list->manager_known, list->manager);
}

// The request a command writes, as --status shows it, and what the program then does.
void put_request_and_then(Text *text, const char *head, const DryRunReport *report)
{
    text->put(head);
    put_request_line(text, report->request);
    put_request_details(text, report->request, &REQUEST_ATTRIBUTES);
    put_boot_next_line(text, report->boot_next);
    text->put("\nThen: ");
    if (!report->restart)
        text->put("no restart (/noreboot)");
    else if (report->force_shown && report->force)
        text->put("restart, closing applications without waiting (/force)");
    else
        text->put("restart");
}

} // namespace

StatusCode decode_request(const uint8_t *value, size_t size, RequestView *view)
{
    *view = RequestView{};
    view->size = size;
    if (size < 4)
        return STATUS_CORRUPT;
    view->code = static_cast<uint32_t>(value[0]) | static_cast<uint32_t>(value[1]) << 8 |
                 static_cast<uint32_t>(value[2]) << 16 | static_cast<uint32_t>(value[3]) << 24;
    const uint8_t *end = value + size;
    view->selection = value + 4;
    view->selection_length = text_length(view->selection, end);
    // Past the selection's NUL, unless the value ends before one.
    view->run_file = view->selection + view->selection_length;
    if (view->run_file != end)
        view->run_file++;
    view->run_file_length = text_length(view->run_file, end);

    view->kind = REQUEST_ITEM;
    for (const Keyword &keyword : KEYWORDS) {
        if (view->code == keyword.code) {
            view->kind = REQUEST_KEYWORD;
            view->keyword = keyword.text;
        }
    }
    if (view->code == SELECTION_NAME)
        view->kind =
            is_hot_key(view->selection, view->selection_length) ? REQUEST_HOT_KEY : REQUEST_NAME;
    return STATUS_SUCCESS;
}

namespace {

void put_status_text(Text *text, const StatusReport *report)
{
    if (report->boot_manager_known) {
        text->put("Zarvex UEFI: ");
        text->put(report->boot_manager ? "found\n" : "not found\n");
    }
    text->put("Pending request: ");
    if (report->corrupt) {
        text->put("corrupt");
        if (report->corrupt_size > 0) {
            text->put(" (");
            text->put_unsigned(report->corrupt_size);
            text->put(report->corrupt_size == 1 ? " byte, " : " bytes, ");
            text->put("shorter than its 4-byte code)");
        }
        return;
    }
    if (report->request == nullptr) {
        text->put(report->status == STATUS_SUCCESS ? "none" : "unknown");
        return;
    }
    put_request_line(text, report->request);
    put_request_details(text, report->request,
                        report->attributes_known ? &report->attributes : nullptr);
}

} // namespace

void format_status_text(const StatusReport *report, char *out, size_t capacity)
{
    Text text{out, capacity, 0};
    put_status_text(&text, report);
    put_boot_list_text(&text, report->firmware, report->program_name);
}

void format_status_json(const StatusReport *report, char *out, size_t capacity)
{
    Text text{out, capacity, 0};
    text.put("{\"status\":");
    text.put_unsigned(report->status);
    text.put(",\"boot_manager\":");
    text.put(!report->boot_manager_known ? "null" : report->boot_manager ? "true" : "false");
    text.put(",\"request\":");
    if (report->corrupt) {
        text.put("{\"corrupt\":true,\"size\":");
        text.put_unsigned(report->corrupt_size);
        text.put("}");
    } else if (report->request == nullptr) {
        text.put("null");
    } else {
        put_request_json(&text, report->request,
                         report->attributes_known ? &report->attributes : nullptr);
    }
    put_boot_list_json(&text, report->firmware);
    text.put("}");
}

void format_dry_run_text(const DryRunReport *report, char *out, size_t capacity)
{
    Text text{out, capacity, 0};
    if (capacity > 0)
        out[0] = '\0';
    if (report->monitor) {
        text.put("Would start the hibernation monitor; nothing would be written.");
        return;
    }
    if (report->request == nullptr)
        return;
    put_request_and_then(&text, "Would write: ", report);
}

void format_written_text(const DryRunReport *report, char *out, size_t capacity)
{
    Text text{out, capacity, 0};
    if (capacity > 0)
        out[0] = '\0';
    put_request_and_then(&text, "Pending request: ", report);
}

void format_failure_text(const char *message, const char *command, char *out, size_t capacity)
{
    Text text{out, capacity, 0};
    if (capacity > 0)
        out[0] = '\0';
    text.put(message);
    text.put("\nCommand: ");
    size_t length = 0;
    while (command[length] != '\0')
        length++;
    put_quoted_text(&text, reinterpret_cast<const uint8_t *>(command), length);
}

void format_dry_run_json(const DryRunReport *report, char *out, size_t capacity)
{
    Text text{out, capacity, 0};
    text.put("{\"status\":");
    text.put_unsigned(report->status);
    text.put(",\"request\":");
    if (report->request == nullptr) {
        text.put("null");
        if (report->monitor)
            text.put(",\"monitor\":true");
        put_boot_next_json(&text, report->boot_next);
        text.put("}");
        return;
    }
    put_request_json(&text, report->request, &REQUEST_ATTRIBUTES);
    text.put(",\"restart\":");
    text.put(report->restart ? "true" : "false");
    text.put(",\"force\":");
    text.put(report->force ? "true" : "false");
    put_boot_next_json(&text, report->boot_next);
    text.put("}");
}
