// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The entry's whole pass with captured message boxes, and the monitor with a real window.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "entry.h"
#include "fake_firmware.h"
#include "hibernation_monitor.h"
#include "messages.h"

namespace {

struct Box {
    char text[4096];
    char caption[64];
    UINT type;
    HWND owner;
};

Box boxes[4];
unsigned box_count;
unsigned monitor_runs;

int WINAPI capture_box(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    Box &b = boxes[box_count++ % 4];
    strncpy(b.text, text, sizeof b.text - 1);
    strncpy(b.caption, caption, sizeof b.caption - 1);
    b.type = type;
    b.owner = owner;
    return IDOK;
}

void count_monitor(HINSTANCE)
{
    ++monitor_runs;
}

const uint8_t PRESENT[4] = {1, 0, 0, 0};
const std::string HELP_TEXT_STRING = std::string(USAGE_TEXT_WINDOWS) + TOOL_OPTIONS_TEXT;
const char *const HELP_TEXT = HELP_TEXT_STRING.c_str();

struct EntryCase {
    const char *command;
    bool manager_present;
    DWORD write_error;
    const char *text; // null: no box
    const char *caption;
    int exit_code;
    unsigned writes;
    unsigned restarts;
    bool forced;
    unsigned monitors;
    UINT type = 0; // 0: MB_ICONWARNING, the type of every box but an answer
};

const EntryCase ENTRY_CASES[] = {
    {"", true, 0, USAGE_TEXT_WINDOWS, "Quiplex - Invalid Parameters", 61, 0, 0, false, 0},
    {"/?", true, 0, HELP_TEXT, "Quiplex - Invalid Parameters", 61, 0, 0, false, 0},
    {"-V", true, 0, USAGE_TEXT_WINDOWS, "Quiplex - Invalid Parameters", 61, 0, 0, false, 0},
    {"3 --force", true, 0, USAGE_TEXT_WINDOWS, "Quiplex - Invalid Parameters", 61, 0, 0, false, 0},
    {"--version", false, 0, "quiplexu 1.03", "Quiplex UEFI", 0, 0, 0, false, 0, MB_ICONINFORMATION},
    {"--cancel", true, 0, "No request was pending.", "Quiplex UEFI", 0, 0, 0, false, 0,
     MB_ICONINFORMATION},
    {"--suspend", true, 0, USAGE_TEXT_WINDOWS, "Quiplex - Invalid Parameters", 61, 0, 0, false, 0},
    {"0", true, 0, USAGE_TEXT_WINDOWS, "Quiplex - Invalid Parameters", 61, 0, 0, false, 0},
    {"1", false, 0, "Zarvex UEFI was not found.", "Quiplex UEFI", 8, 0, 0, false, 0},
    {"/hibernate", false, 0, "Zarvex UEFI was not found.", "Quiplex UEFI", 8, 0, 0, false, 0},
    {"/hibernate", true, 0, nullptr, nullptr, 0, 0, 0, false, 1},
    {"/HIBERNATE/noreboot", true, 0, nullptr, nullptr, 0, 0, 0, false, 1},
    {"/hibernate x/noreboot", true, 0, nullptr, nullptr, 0, 1, 0, false, 0},
    {"3/noreboot", true, 0, nullptr, nullptr, 0, 1, 0, false, 0},
    {"3/force", true, 0, nullptr, nullptr, 0, 1, 1, true, 0},
    {"3", true, 0, nullptr, nullptr, 0, 1, 1, false, 0},
    {"3", true, ERROR_PRIVILEGE_NOT_HELD, "Unable to configure system! (522h)", "Quiplex UEFI", 75,
     0, 0, false, 0},
    {"3", true, ERROR_INVALID_FUNCTION, "Unable to configure system! (1h)", "Quiplex UEFI", 76, 0,
     0, false, 0},
    {"3", true, ERROR_GEN_FAILURE, "Unable to configure system! (1Fh)", "Quiplex UEFI", 77, 0, 0,
     false, 0},
    // A dry run shows its answer and touches nothing, the monitor included.
    {"--dry-run 3/force", false, 0,
     "Would write: item 3\nRun file: none\nSize: 6 bytes, attributes 0x00000007\n"
     "Then: restart, closing applications without waiting (/force)",
     "Quiplex UEFI", 0, 0, 0, false, 0, MB_ICONINFORMATION},
    {"--dry-run /hibernate", true, 0,
     "Would start the hibernation monitor; nothing would be written.", "Quiplex UEFI", 0, 0, 0,
     false, 0, MB_ICONINFORMATION},
    {"--dry-run --cancel", true, 0, USAGE_TEXT_WINDOWS, "Quiplex - Invalid Parameters", 61, 0, 0,
     false, 0},
};

TEST(Entry, WholePass)
{
    entry_calls.message_box = capture_box;
    entry_calls.run_monitor = count_monitor;
    for (const EntryCase &c : ENTRY_CASES) {
        SCOPED_TRACE(c.command);
        install_fakes(true, false, true, false);
        if (c.manager_present)
            fake_set_variable("ZarvexUEFI", PRESENT, 4);
        fake.write_error = c.write_error;
        box_count = 0;
        monitor_runs = 0;
        EXPECT_EQ(run_quiplexu(GetModuleHandleA(nullptr), nullptr, c.command), c.exit_code);
        ASSERT_EQ(box_count, c.text ? 1u : 0u);
        if (c.text) {
            EXPECT_STREQ(boxes[0].text, c.text);
            EXPECT_STREQ(boxes[0].caption, c.caption);
            EXPECT_EQ(boxes[0].type, c.type == 0 ? 0x30u : UINT(MB_OK | c.type));
            EXPECT_EQ(boxes[0].owner, nullptr);
        }
        EXPECT_EQ(fake.write_count, c.writes);
        EXPECT_EQ(fake.shutdown_calls, c.restarts);
        if (c.restarts) {
            EXPECT_EQ(fake.last_force, c.forced ? TRUE : FALSE);
        }
        EXPECT_EQ(monitor_runs, c.monitors);
        // The firmware's privilege is enabled before anything else, the right to restart after.
        EXPECT_STREQ(fake.privilege_log, c.restarts
                                             ? "SeSystemEnvironmentPrivilege+ SeShutdownPrivilege+ "
                                             : "SeSystemEnvironmentPrivilege+ ");
    }
}

TEST(Entry, WritesThePayloadAndCountsAnOversizedProbeAsPresent)
{
    entry_calls.message_box = capture_box;
    install_fakes(true, false, false, false);
    const uint8_t long_marker[16] = {};
    fake_set_variable("ZarvexUEFI", long_marker, sizeof long_marker);
    box_count = 0;
    EXPECT_EQ(run_quiplexu(nullptr, nullptr, "/hibernate x/noreboot"), 0);
    EXPECT_EQ(box_count, 0u);
    ASSERT_EQ(fake.write_count, 1u);
    const uint8_t expected[] = {0xFF, 0xFF, 0,   0,   '/', 'h', 'i', 'b', 'e',
                                'r',  'n',  'a', 't', 'e', ' ', 'x', 0,   0};
    EXPECT_EQ(fake.writes[0].size, sizeof expected);
    EXPECT_EQ(memcmp(fake.writes[0].data, expected, sizeof expected), 0);
    EXPECT_EQ(fake.writes[0].attributes, 7u);
    EXPECT_STREQ(fake.writes[0].name, "Quiplex");
}

TEST(Entry, PreviousInstanceEndsAtOnce)
{
    entry_calls.message_box = capture_box;
    entry_calls.run_monitor = count_monitor;
    install_fakes(true, false, false, false);
    fake_set_variable("ZarvexUEFI", PRESENT, 4);
    monitor_runs = 0;
    box_count = 0;
    EXPECT_EQ(run_quiplexu(nullptr, reinterpret_cast<HINSTANCE>(1), "/hibernate"), 0);
    EXPECT_EQ(monitor_runs, 0u);
    EXPECT_EQ(box_count, 0u);
    EXPECT_EQ(fake.write_count, 0u); // taken over all the same: never written as a name
}

// The monitor: messages are posted when the icon is added, i.e. once the loop is about to run.
struct Posted {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
};

Posted script[16];
unsigned script_length;
unsigned icon_adds, icon_deletes, menus_tracked;
bool start_second_monitor;
unsigned second_monitor_icon_adds;
NOTIFYICONDATAA added_icon;
RECT window_rect;
HCURSOR class_cursor;

BOOL WINAPI fake_track(HMENU menu, UINT flags, int, int, int reserved, HWND owner, const RECT *rect)
{
    ++menus_tracked;
    EXPECT_EQ(reserved, 0);
    char text[64] = {};
    GetMenuStringA(menu, COMMAND_TERMINATE, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "&Terminate Quiplex UEFI");
    EXPECT_EQ(flags, 8u);
    EXPECT_EQ(rect, nullptr);
    PostMessageA(owner, WM_COMMAND, COMMAND_TERMINATE, 0); // the user picks the item
    return TRUE;
}

BOOL WINAPI fake_notify(DWORD action, PNOTIFYICONDATAA data)
{
    if (action == NIM_DELETE) {
        ++icon_deletes;
        return TRUE;
    }
    ++icon_adds;
    added_icon = *data;
    GetWindowRect(data->hWnd, &window_rect);
    class_cursor = reinterpret_cast<HCURSOR>(GetClassLongPtrA(data->hWnd, GCLP_HCURSOR));
    if (start_second_monitor) {
        start_second_monitor = false;
        const unsigned before = icon_adds;
        run_hibernation_monitor(GetModuleHandleA(nullptr));
        second_monitor_icon_adds = icon_adds - before;
    }
    for (unsigned i = 0; i < script_length; ++i)
        PostMessageA(data->hWnd, script[i].message, script[i].wparam, script[i].lparam);
    return TRUE;
}

class Monitor : public testing::Test {
protected:
    void SetUp() override
    {
        install_fakes(true, false, false, false);
        monitor_calls.track_popup_menu = fake_track;
        monitor_calls.shell_notify_icon = fake_notify;
        script_length = icon_adds = icon_deletes = menus_tracked = 0;
        second_monitor_icon_adds = 0;
        start_second_monitor = false;
    }
    void TearDown() override { UnregisterClassA(MONITOR_CLASS_NAME, GetModuleHandleA(nullptr)); }
    void post(UINT message, WPARAM wparam, LPARAM lparam = 0)
    {
        script[script_length++] = {message, wparam, lparam};
    }
    void suspend() { post(WM_POWERBROADCAST, PBT_APMSUSPEND); }
    void resume() { post(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC); }
    void run()
    {
        post(WM_CLOSE, 0);
        run_hibernation_monitor(GetModuleHandleA(nullptr));
    }
    void expect_write(unsigned index, const uint8_t *bytes, DWORD size)
    {
        ASSERT_LT(index, fake.write_count);
        EXPECT_EQ(fake.writes[index].size, size) << "write " << index;
        EXPECT_EQ(memcmp(fake.writes[index].data, bytes, size), 0) << "write " << index;
        EXPECT_EQ(fake.writes[index].attributes, 7u);
        EXPECT_STREQ(fake.writes[index].name, "Quiplex");
    }
};

const uint8_t CURRENT_ONLY[4] = {0xFB, 0xFF, 0, 0};

TEST_F(Monitor, NoRequestPending)
{
    suspend();
    resume();
    run();
    ASSERT_EQ(fake.write_count, 2u);
    expect_write(0, CURRENT_ONLY, 4);
    EXPECT_EQ(fake.writes[1].size, 0u);
    EXPECT_EQ(fake_variable("Quiplex"), nullptr);
    EXPECT_EQ(icon_adds, 1u);
    EXPECT_EQ(icon_deletes, 1u);
    EXPECT_EQ(added_icon.cbSize, 528u);
    EXPECT_EQ(added_icon.uFlags, 7u);
    EXPECT_EQ(added_icon.uCallbackMessage, 0x8000u);
    EXPECT_STREQ(added_icon.szTip, "Quiplex UEFI Waiting...");
    EXPECT_EQ(added_icon.uID, 0u);
    // A hidden 5 by 5 window at the screen's corner with the arrow, as the tray expects.
    EXPECT_EQ(window_rect.left, 0);
    EXPECT_EQ(window_rect.top, 0);
    EXPECT_EQ(window_rect.right, 5);
    EXPECT_EQ(window_rect.bottom, 5);
    EXPECT_EQ(class_cursor, LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(FindWindowA(MONITOR_CLASS_NAME, nullptr), nullptr);
}

TEST_F(Monitor, ItemTwoPendingAndASecondSuspendKeepsTheFirstCopy)
{
    const uint8_t item_two[6] = {2, 0, 0, 0, 0, 0};
    const uint8_t current[6] = {0xFB, 0xFF, 0, 0, 0, 0};
    fake_set_variable("Quiplex", item_two, 6);
    suspend();
    suspend();
    resume();
    run();
    ASSERT_EQ(fake.write_count, 3u);
    expect_write(0, current, 6);
    expect_write(1, current, 6);
    expect_write(2, item_two, 6);
    EXPECT_EQ(fake.read_count, 1u);
    size_t size = 1;
    EXPECT_EQ(monitor_saved_request(&size), nullptr);
    EXPECT_EQ(size, 0u);
}

TEST_F(Monitor, NameWithRunFileKeepsItsTexts)
{
    const uint8_t named[] = {0xFF, 0xFF, 0,   0,   'L', 'i', 'n', 'u',
                             'x',  0,    'a', '.', 'e', 'f', 'i', 0};
    uint8_t current[sizeof named];
    memcpy(current, named, sizeof named);
    current[0] = 0xFB;
    fake_set_variable("Quiplex", named, sizeof named);
    suspend();
    resume();
    run();
    expect_write(0, current, sizeof current);
    expect_write(1, named, sizeof named);
}

TEST_F(Monitor, HundredBytesReadAtTheSecondTry)
{
    uint8_t value[100];
    for (unsigned i = 0; i < sizeof value; ++i)
        value[i] = static_cast<uint8_t>(i + 1);
    fake_set_variable("Quiplex", value, sizeof value);
    suspend();
    resume();
    run();
    ASSERT_EQ(fake.read_count, 2u);
    EXPECT_EQ(fake.read_capacities[0], 64u);
    EXPECT_EQ(fake.read_capacities[1], 128u);
    uint8_t current[100];
    memcpy(current, value, sizeof value);
    current[0] = 0xFB, current[1] = 0xFF, current[2] = 0, current[3] = 0;
    expect_write(0, current, 100);
    expect_write(1, value, 100);
}

TEST_F(Monitor, OverLongValueIsNotCopied)
{
    uint8_t value[300] = {9};
    fake_set_variable("Quiplex", value, sizeof value);
    suspend();
    resume();
    run();
    ASSERT_EQ(fake.read_count, 4u);
    EXPECT_EQ(fake.read_capacities[3], 256u);
    expect_write(0, CURRENT_ONLY, 4);
    EXPECT_EQ(fake.writes[1].size, 0u);
}

TEST_F(Monitor, OnlyRightButtonReleaseOpensTheMenuWhichEndsTheMonitor)
{
    for (LPARAM mouse : {WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_MOUSEMOVE})
        post(TRAY_CALLBACK_MESSAGE, 0, mouse);
    post(WM_COMMAND, 7); // another command leaves the monitor running
    post(TRAY_CALLBACK_MESSAGE, 0, WM_RBUTTONUP);
    run_hibernation_monitor(GetModuleHandleA(nullptr)); // no WM_CLOSE: the menu ends it
    EXPECT_EQ(menus_tracked, 1u);
    EXPECT_EQ(icon_deletes, 1u);
    EXPECT_EQ(fake.write_count, 0u);
}

// A class this process registered already (a monitor that ran before): no second window.
TEST_F(Monitor, ClassAlreadyRegisteredNoWindow)
{
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = monitor_window_proc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = MONITOR_CLASS_NAME;
    ASSERT_NE(RegisterClassA(&window_class), 0);
    run();
    EXPECT_EQ(icon_adds, 0u);
    EXPECT_EQ(icon_deletes, 0u);
}

TEST_F(Monitor, SecondMonitorEndsAtOnce)
{
    start_second_monitor = true;
    run();
    EXPECT_EQ(second_monitor_icon_adds, 0u);
    EXPECT_EQ(icon_adds, 1u);
    EXPECT_EQ(icon_deletes, 1u);
}

TEST(MonitorWindowProc, ResultsByMessage)
{
    install_fakes(true, false, false, false);
    // Each message the monitor handles answers 0; no window is needed for these paths.
    const struct {
        UINT message;
        WPARAM wparam;
        LPARAM lparam;
    } handled[] = {
        {TRAY_CALLBACK_MESSAGE, 0, WM_LBUTTONUP},
        {WM_CLOSE, 0, 0},
        {WM_COMMAND, COMMAND_TERMINATE, 0},
        {WM_DESTROY, 0, 0},
    };
    for (const auto &m : handled)
        EXPECT_EQ(monitor_window_proc(nullptr, m.message, m.wparam, m.lparam), 0) << m.message;
    MSG quit;
    EXPECT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)); // WM_DESTROY's
    EXPECT_EQ(fake.write_count, 0u);
}

} // namespace
