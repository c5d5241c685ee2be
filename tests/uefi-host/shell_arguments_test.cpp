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

        char **argv = nullptr;
        const int argc = collect_arguments(&argv);
        ASSERT_EQ(argc, int(position + 1));
        EXPECT_STREQ(argv[position], "/noreboot");
        EXPECT_EQ(argv[argc], nullptr);
        char command[COMMAND_CAPACITY] = {};
        join_arguments(command, sizeof command, argc, argv);
        BootRequest request;
        ASSERT_EQ(parse_boot_request(command, &request), STATUS_SUCCESS);
        EXPECT_TRUE(request.no_reboot);
    }
    gBS = saved;
}

} // namespace
