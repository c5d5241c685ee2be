// The stored-request decoder and its text and JSON descriptions, over a bounded text builder.
#include "request_report.h"

#include <limits.h>

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

// A quoted text with every byte outside printable ASCII (and the quote) as \xNN.
void put_quoted_text(Text *text, const uint8_t *bytes, size_t length)
{
    text->put('"');
    for (size_t i = 0; i < length; i++) {
        if (printable(bytes[i]) && bytes[i] != '"') {
            text->put(static_cast<char>(bytes[i]));
        } else {
            text->put("\\x");
            text->put_hex_byte(bytes[i]);
        }
    }
    text->put('"');
}

void put_json_string(Text *text, const uint8_t *bytes, size_t length)
{
    text->put('"');
    for (size_t i = 0; i < length; i++) {
        const uint8_t byte = bytes[i];
        if (byte == '"' || byte == '\\') {
            text->put('\\');
            text->put(static_cast<char>(byte));
        } else if (printable(byte)) {
            text->put(static_cast<char>(byte));
        } else {
            text->put("\\u00");
            text->put_hex_byte(byte);
        }
    }
    text->put('"');
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

// The request a command writes, as --status shows it, and what the program then does.
void put_request_and_then(Text *text, const char *head, const DryRunReport *report)
{
    text->put(head);
    put_request_line(text, report->request);
    put_request_details(text, report->request, &REQUEST_ATTRIBUTES);
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

void format_status_text(const StatusReport *report, char *out, size_t capacity)
{
    Text text{out, capacity, 0};
    if (report->boot_manager_known) {
        text.put("Zarvex UEFI: ");
        text.put(report->boot_manager ? "found\n" : "not found\n");
    }
    text.put("Pending request: ");
    if (report->corrupt) {
        text.put("corrupt");
        if (report->corrupt_size > 0) {
            text.put(" (");
            text.put_unsigned(report->corrupt_size);
            text.put(report->corrupt_size == 1 ? " byte, " : " bytes, ");
            text.put("shorter than its 4-byte code)");
        }
        return;
    }
    if (report->request == nullptr) {
        text.put(report->status == STATUS_SUCCESS ? "none" : "unknown");
        return;
    }
    put_request_line(&text, report->request);
    put_request_details(&text, report->request,
                        report->attributes_known ? &report->attributes : nullptr);
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
        text.put("}");
        return;
    }
    put_request_json(&text, report->request, &REQUEST_ATTRIBUTES);
    text.put(",\"restart\":");
    text.put(report->restart ? "true" : "false");
    text.put(",\"force\":");
    text.put(report->force ? "true" : "false");
    text.put("}");
}
