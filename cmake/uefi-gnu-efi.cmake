# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Toolchain for the UEFI application: freestanding x64 objects linked by gnu-efi's script.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(GNU_EFI_LIB_DIR /usr/lib CACHE PATH "Where crt0-efi-x86_64.o, the linker script and libgnuefi live")

# Every object of this build, the core's included: no host header may leak in, only the
# compiler's own headers and uefi/include (the program's small C library).
execute_process(COMMAND clang++ -print-resource-dir
                OUTPUT_VARIABLE quiplex_clang_resource_dir OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(quiplex_uefi_include ${CMAKE_CURRENT_LIST_DIR}/../uefi/include ABSOLUTE)
string(JOIN " " quiplex_uefi_flags
    -nostdinc -isystem ${quiplex_clang_resource_dir}/include -I${quiplex_uefi_include}
    -fpic -ffreestanding -fshort-wchar -mno-red-zone -fno-stack-protector
    -fno-exceptions -fno-rtti -fno-builtin -DGNU_EFI_USE_MS_ABI)
set(CMAKE_C_FLAGS_INIT "${quiplex_uefi_flags}")
set(CMAKE_CXX_FLAGS_INIT "${quiplex_uefi_flags}")
