// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The fake efivarfs and the guarded runner, in the namespace the rig gave; main() checks it.
#include "fake_efivarfs.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <linux/fs.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

std::string namespace_problem;

namespace {

constexpr char FIRMWARE[] = "/sys/firmware";
constexpr char EFI[] = "/sys/firmware/efi";
constexpr char EFIVARS[] = "/sys/firmware/efi/efivars";
constexpr char GUID_SUFFIX[] = "-81686ef9-7f6f-42e3-9371-696de9bf6299";
constexpr char GLOBAL_GUID_SUFFIX[] = "-8be4df61-93ca-11d2-aa0d-00e098032b8c";
constexpr char REBOOT_RECORD[] = "/sys/firmware/reboot-record";

std::string reboot_directory; // where /sbin/reboot resolves to, covered by our tmpfs
dev_t reboot_directory_device;

std::string errno_text(const char *what)
{
    return std::string(what) + ": " + strerror(errno);
}

bool write_whole_file(const std::string &path, const Bytes &contents, mode_t mode = 0644)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    if (fd < 0)
        return false;
    const bool ok = write(fd, contents.data(), contents.size()) == ssize_t(contents.size());
    close(fd);
    return ok;
}

bool read_whole_file(const std::string &path, Bytes *contents)
{
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    contents->clear();
    uint8_t chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        contents->insert(contents->end(), chunk, chunk + got);
    close(fd);
    return got == 0;
}

std::string read_pipe(int fd)
{
    std::string text;
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0)
        text.append(chunk, size_t(got));
    close(fd);
    return text;
}

std::string link_text(const char *path)
{
    char text[PATH_MAX];
    const ssize_t length = readlink(path, text, sizeof text - 1);
    return length > 0 ? std::string(text, size_t(length)) : "";
}

// The namespace is tests/linux/namespace_rig.sh's, which runs this suite; everything the tests
// mount stays in it and vanishes with it. Outside it nothing is mounted: those tests skip.
std::string check_namespace()
{
    const char *rig = getenv("QUIPLEX_NAMESPACE_RIG");
    const std::string namespace_name = link_text("/proc/self/ns/mnt");
    if (const char *problem = getenv("QUIPLEX_NAMESPACE_PROBLEM"))
        return problem;
    if (rig == nullptr || namespace_name.empty() || rig != namespace_name)
        return "not started by tests/linux/namespace_rig.sh";
    if (namespace_name == link_text("/proc/1/ns/mnt"))
        return "the mount namespace is the machine's own";

    char resolved[PATH_MAX];
    if (realpath("/sbin", resolved) == nullptr)
        return errno_text("resolving /sbin");
    reboot_directory = resolved;
    struct stat directory, root;
    if (stat(reboot_directory.c_str(), &directory) != 0 || stat("/", &root) != 0)
        return errno_text("stat of the reboot directory");
    if (directory.st_dev == root.st_dev)
        return "the reboot directory is not covered";
    reboot_directory_device = directory.st_dev;
    install_reboot_stub();
    return "";
}

// True only when /sbin/reboot is our stub (or absent) on our own tmpfs.
bool reboot_is_stub()
{
    struct stat directory;
    if (stat("/sbin/", &directory) != 0 || directory.st_dev != reboot_directory_device)
        return false;
    struct stat reboot;
    if (lstat("/sbin/reboot", &reboot) != 0)
        return errno == ENOENT;
    if (!S_ISREG(reboot.st_mode) || reboot.st_dev != reboot_directory_device)
        return false;
    Bytes stub, installed;
    return read_whole_file(REBOOT_STUB_PATH, &stub) &&
           read_whole_file("/sbin/reboot", &installed) && stub == installed;
}

} // namespace

void install_reboot_stub()
{
    Bytes stub;
    if (!read_whole_file(REBOOT_STUB_PATH, &stub) ||
        !write_whole_file(reboot_directory + "/reboot", stub, 0755))
        ADD_FAILURE() << "cannot install the reboot stub";
}

void remove_reboot_stub()
{
    unlink((reboot_directory + "/reboot").c_str());
}

void reset_efivars(EfivarsState state)
{
    // Never over the machine's own firmware variables.
    ASSERT_TRUE(namespace_problem.empty()) << "no private mount namespace";
    umount2(EFIVARS, MNT_DETACH);
    umount2(FIRMWARE, MNT_DETACH);
    ASSERT_EQ(mount("quiplex-firmware", FIRMWARE, "tmpfs", 0, "mode=0755"), 0) << strerror(errno);
    if (state == NO_DIRECTORY) {
        ASSERT_EQ(mkdir(EFI, 0755), 0);
        return;
    }
    ASSERT_EQ(mkdir(EFI, 0755), 0);
    ASSERT_EQ(mkdir(EFIVARS, 0755), 0);
    if (state == NOT_MOUNTED)
        return;
    ASSERT_EQ(mount("quiplex-efivars", EFIVARS, "tmpfs", 0,
                    state == MOUNTED_SMALL ? "mode=0755,size=16k" : "mode=0755"),
              0)
        << strerror(errno);
}

void reset_run()
{
    ASSERT_TRUE(namespace_problem.empty()) << "no private mount namespace";
    umount2("/run", MNT_DETACH);
    ASSERT_EQ(mount("quiplex-run", "/run", "tmpfs", 0, "mode=0755"), 0) << strerror(errno);
}

void fill_efivars()
{
    const int fd = open((std::string(EFIVARS) + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    const Bytes page(4096, 0);
    while (write(fd, page.data(), page.size()) > 0) {
    }
    close(fd);
}

std::string variable_path(const std::string &name, VariableSpace space)
{
    return std::string(EFIVARS) + "/" + name +
           (space == GLOBAL_VARIABLE ? GLOBAL_GUID_SUFFIX : GUID_SUFFIX);
}

void put_variable_file(const std::string &name, const Bytes &contents, VariableSpace space)
{
    ASSERT_TRUE(write_whole_file(variable_path(name, space), contents)) << strerror(errno);
}

bool get_variable_file(const std::string &name, Bytes *contents, VariableSpace space)
{
    return read_whole_file(variable_path(name, space), contents);
}

bool variable_file_exists(const std::string &name, VariableSpace space)
{
    return access(variable_path(name, space).c_str(), F_OK) == 0;
}

unsigned inode_flags(const std::string &name, VariableSpace space)
{
    unsigned flags = 0;
    const int fd = open(variable_path(name, space).c_str(), O_RDONLY);
    if (fd >= 0) {
        ioctl(fd, FS_IOC_GETFLAGS, &flags);
        close(fd);
    }
    return flags;
}

void set_inode_flags(const std::string &name, unsigned flags, VariableSpace space)
{
    const int fd = open(variable_path(name, space).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ioctl(fd, FS_IOC_SETFLAGS, &flags), 0) << strerror(errno);
    close(fd);
}

std::vector<std::string> efivars_listing()
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(EFIVARS)) {
        while (dirent *entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes le32_then(uint32_t value, const Bytes &data)
{
    Bytes bytes = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

RunResult run_quiplexlnx(const std::vector<std::string> &arguments)
{
    return run_guarded(QUIPLEXLNX_PATH, arguments);
}

RunResult run_guarded(const char *program, const std::vector<std::string> &arguments)
{
    RunResult result{};
    unlink(REBOOT_RECORD);
    if (!reboot_is_stub()) {
        ADD_FAILURE() << "/sbin/reboot is not the stub; quiplexlnx was not started";
        return result;
    }
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
        ADD_FAILURE() << "pipe: " << strerror(errno);
        return result;
    }
    std::vector<char *> argv{const_cast<char *>(program)};
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(err[0]);
        setenv("QUIPLEX_REBOOT_RECORD", REBOOT_RECORD, 1);
        execv(program, argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    result.out = read_pipe(out[0]);
    result.err = read_pipe(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.started = true;
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    Bytes record;
    if (read_whole_file(REBOOT_RECORD, &record)) {
        result.rebooted = true;
        std::string line;
        for (uint8_t c : record) {
            if (c == '\n') {
                result.reboot_argv.push_back(line);
                line.clear();
            } else {
                line.push_back(char(c));
            }
        }
    }
    return result;
}

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    namespace_problem = check_namespace();
    if (!namespace_problem.empty())
        fprintf(stderr, "linux_tests: skipping namespace tests: %s\n", namespace_problem.c_str());
    return RUN_ALL_TESTS();
}
