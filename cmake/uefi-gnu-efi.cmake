# Toolchain for the UEFI application: freestanding x64 objects linked by gnu-efi's script.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(GNU_EFI_LIB_DIR /usr/lib CACHE PATH "Where crt0-efi-x86_64.o, the linker script and libgnuefi live")
