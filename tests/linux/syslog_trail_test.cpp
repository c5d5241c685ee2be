// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// quiplexlnx's records in syslog, read from a datagram socket at /dev/log in the namespace.
#include <gtest/gtest.h>

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fake_efivarfs.h"
#include "messages.h"

namespace {

const Bytes PRESENT = le32_then(7, {'Z', 'v', 1, 0});
constexpr char DEV_LOG[] = "/dev/log";
constexpr int NOTICE = 8 + 5; // LOG_USER | LOG_NOTICE
constexpr int ERROR = 8 + 3;  // LOG_USER | LOG_ERR

// "<priority>" and what follows "quiplexlnx[pid]: " in each datagram.
struct Record {
    int priority;
    std::string text;
    bool operator==(const Record &other) const
    {
        return priority == other.priority && text == other.text;
    }
};

void PrintTo(const Record &r, std::ostream *out)
{
    *out << "<" << r.priority << "> " << r.text;
}

// /dev of the namespace becomes an empty tmpfs for the test, so the socket at /dev/log is ours
// and the machine's own logger never sees a test's records.
class SyslogTrail : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_NAMESPACE();
        ASSERT_EQ(mount("quiplex-dev", "/dev", "tmpfs", 0, "mode=0755"), 0) << strerror(errno);
        dev_mounted = true;
        reset_efivars(MOUNTED);
        reset_run();
        put_variable_file("ZarvexUEFI", PRESENT);
        unsetenv("SUDO_USER");
    }

    void TearDown() override
    {
        if (log_socket >= 0)
            close(log_socket);
        if (dev_mounted)
            umount2("/dev", MNT_DETACH);
        unsetenv("SUDO_USER");
    }

    void listen_at_dev_log()
    {
        log_socket = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        ASSERT_GE(log_socket, 0) << strerror(errno);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        strcpy(address.sun_path, DEV_LOG);
        ASSERT_EQ(bind(log_socket, reinterpret_cast<sockaddr *>(&address), sizeof address), 0)
            << strerror(errno);
    }

    std::vector<Record> records()
    {
        std::vector<Record> found;
        char datagram[4096];
        ssize_t length;
        while ((length = recv(log_socket, datagram, sizeof datagram, 0)) > 0) {
            const std::string line(datagram, length);
            const size_t ident = line.find("quiplexlnx[");
            const size_t text = line.find("]: ", ident);
            if (line[0] != '<' || ident == std::string::npos || text == std::string::npos) {
                ADD_FAILURE() << "not a syslog record of quiplexlnx: " << line;
                continue;
            }
            found.push_back({atoi(line.c_str() + 1), line.substr(text + 3)});
        }
        return found;
    }

    int log_socket = -1;
    bool dev_mounted = false;
};

TEST_F(SyslogTrail, RecordsChangesAndFailuresWithTheInvokingUser)
{
    const std::string me = "uid " + std::to_string(getuid()) + ": ";
    const std::string long_user = "\x7F" + std::string(69, 'a');
    const struct {
        std::vector<std::string> arguments;
        const char *sudo_user; // null: not set
        bool boot_manager;
        int status;
        std::vector<Record> records;
    } cases[] = {
        {{"3/noreboot"},
         "alice",
         true,
         0,
         {{NOTICE, "user alice: Pending request: item 3; Run file: none; Size: 6 bytes, "
                   "attributes 0x00000007; Then: no restart (/noreboot)"}}},
        {{"--status"}, "alice", true, 0, {}},
        {{"--dry-run", "4"}, nullptr, true, 0, {}},
        {{"--cancel"}, nullptr, true, 0, {{NOTICE, me + MESSAGE_CANCELLED}}},
        {{"--cancel"}, nullptr, true, 0, {}},
        {{"2", "/noreboot"},
         "",
         false,
         8,
         {{ERROR, me + "Zarvex UEFI was not found.; Command: \"2 /noreboot\"; status 8"}}},
        {{"-x"},
         "b b\n",
         true,
         61,
         {{ERROR, "user b?b?: The command is not valid.; Command: \"-x\"; status 61"}}},
        {{"--suspend"},
         "root",
         true,
         0,
         {{NOTICE, std::string("user root: ") + MESSAGE_SUSPEND_NOTHING_SAVED}}},
        {{"--resume"},
         "root",
         true,
         0,
         {{NOTICE, std::string("user root: ") + MESSAGE_RESUME_DELETED}}},
        // DEL is no printable name either; a long name is cut to fit "user NAME" in 63 bytes.
        {{"3/noreboot"},
         long_user.c_str(),
         true,
         0,
         {{NOTICE,
           "user ?" + std::string(57, 'a') +
               ": Pending request: item 3; Run file: "
               "none; Size: 6 bytes, attributes 0x00000007; Then: no restart (/noreboot)"}}},
    };
    listen_at_dev_log();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments[0]);
        if (!c.boot_manager)
            reset_efivars(MOUNTED);
        if (c.sudo_user != nullptr)
            setenv("SUDO_USER", c.sudo_user, 1);
        else
            unsetenv("SUDO_USER");
        const RunResult run = run_quiplexlnx(c.arguments);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exit_status, c.status);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(records(), c.records);
        if (!c.boot_manager)
            put_variable_file("ZarvexUEFI", PRESENT);
    }
}

// No logger (an initramfs, a container): the same output and status, nothing on the console.
TEST_F(SyslogTrail, WithoutASocketTheRunIsUnchanged)
{
    const RunResult written = run_quiplexlnx({"5/noreboot"});
    EXPECT_EQ(written.exit_status, 0);
    EXPECT_EQ(written.out, "");
    EXPECT_EQ(written.err, "");
    Bytes request;
    ASSERT_TRUE(get_variable_file("Quiplex", &request));
    EXPECT_EQ(request, le32_then(7, {5, 0, 0, 0, 0, 0}));
    reset_efivars(MOUNTED);
    const RunResult failed = run_quiplexlnx({"5/noreboot"});
    EXPECT_EQ(failed.exit_status, 8);
    EXPECT_EQ(failed.out, "Zarvex UEFI was not found.\n");
    EXPECT_EQ(failed.err, "");
}

} // namespace
