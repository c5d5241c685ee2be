// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
// The UEFI types, tables and constants this program uses, laid out as the UEFI standard does.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Firmware entry points use the Microsoft x64 calling convention on every x64 firmware.
#define EFIAPI __attribute__((ms_abi))

typedef uint64_t EFI_STATUS;
typedef uint64_t UINTN;
typedef char16_t CHAR16;
typedef void *EFI_HANDLE;
typedef void *EFI_EVENT;
typedef uint8_t BOOLEAN;

static_assert(sizeof(CHAR16) == 2, "UEFI text is UCS-2");
static_assert(sizeof(void *) == 8 && sizeof(UINTN) == 8, "x64 firmware");

struct EFI_GUID {
    uint8_t bytes[16];
};
static_assert(sizeof(EFI_GUID) == 16, "EFI_GUID is 16 bytes");

inline constexpr EFI_STATUS EFI_ERROR_BIT = 0x8000000000000000ull;
constexpr EFI_STATUS efi_error(uint64_t number)
{
    return EFI_ERROR_BIT | number;
}
constexpr bool efi_is_error(EFI_STATUS status)
{
    return (status & EFI_ERROR_BIT) != 0;
}

inline constexpr EFI_STATUS EFI_SUCCESS = 0;
inline constexpr EFI_STATUS EFI_WARN_UNKNOWN_GLYPH = 1;
inline constexpr EFI_STATUS EFI_WARN_DELETE_FAILURE = 2;
inline constexpr EFI_STATUS EFI_WARN_WRITE_FAILURE = 3;
inline constexpr EFI_STATUS EFI_WARN_BUFFER_TOO_SMALL = 4;
inline constexpr EFI_STATUS EFI_WARN_STALE_DATA = 5;
inline constexpr EFI_STATUS EFI_WARN_FILE_SYSTEM = 6;
inline constexpr EFI_STATUS EFI_WARN_RESET_REQUIRED = 7;
inline constexpr EFI_STATUS EFI_LOAD_ERROR = efi_error(1);
inline constexpr EFI_STATUS EFI_INVALID_PARAMETER = efi_error(2);
inline constexpr EFI_STATUS EFI_UNSUPPORTED = efi_error(3);
inline constexpr EFI_STATUS EFI_BAD_BUFFER_SIZE = efi_error(4);
inline constexpr EFI_STATUS EFI_BUFFER_TOO_SMALL = efi_error(5);
inline constexpr EFI_STATUS EFI_NOT_READY = efi_error(6);
inline constexpr EFI_STATUS EFI_DEVICE_ERROR = efi_error(7);
inline constexpr EFI_STATUS EFI_WRITE_PROTECTED = efi_error(8);
inline constexpr EFI_STATUS EFI_OUT_OF_RESOURCES = efi_error(9);
inline constexpr EFI_STATUS EFI_VOLUME_CORRUPTED = efi_error(10);
inline constexpr EFI_STATUS EFI_VOLUME_FULL = efi_error(11);
inline constexpr EFI_STATUS EFI_NO_MEDIA = efi_error(12);
inline constexpr EFI_STATUS EFI_MEDIA_CHANGED = efi_error(13);
inline constexpr EFI_STATUS EFI_NOT_FOUND = efi_error(14);
inline constexpr EFI_STATUS EFI_ACCESS_DENIED = efi_error(15);
inline constexpr EFI_STATUS EFI_NO_RESPONSE = efi_error(16);
inline constexpr EFI_STATUS EFI_NO_MAPPING = efi_error(17);
inline constexpr EFI_STATUS EFI_TIMEOUT = efi_error(18);
inline constexpr EFI_STATUS EFI_NOT_STARTED = efi_error(19);
inline constexpr EFI_STATUS EFI_ALREADY_STARTED = efi_error(20);
inline constexpr EFI_STATUS EFI_ABORTED = efi_error(21);
inline constexpr EFI_STATUS EFI_ICMP_ERROR = efi_error(22);
inline constexpr EFI_STATUS EFI_TFTP_ERROR = efi_error(23);
inline constexpr EFI_STATUS EFI_PROTOCOL_ERROR = efi_error(24);
inline constexpr EFI_STATUS EFI_INCOMPATIBLE_VERSION = efi_error(25);
inline constexpr EFI_STATUS EFI_SECURITY_VIOLATION = efi_error(26);
inline constexpr EFI_STATUS EFI_CRC_ERROR = efi_error(27);
inline constexpr EFI_STATUS EFI_END_OF_MEDIA = efi_error(28);
inline constexpr EFI_STATUS EFI_END_OF_FILE = efi_error(31);
inline constexpr EFI_STATUS EFI_INVALID_LANGUAGE = efi_error(32);
inline constexpr EFI_STATUS EFI_COMPROMISED_DATA = efi_error(33);

enum EFI_RESET_TYPE : uint32_t { EfiResetCold = 0, EfiResetWarm = 1, EfiResetShutdown = 2 };
enum EFI_LOCATE_SEARCH_TYPE : uint32_t { AllHandles = 0, ByRegisterNotify = 1, ByProtocol = 2 };
inline constexpr uint32_t EFI_OPEN_PROTOCOL_BY_HANDLE_PROTOCOL = 0x1;
inline constexpr uint32_t EFI_OPEN_PROTOCOL_GET_PROTOCOL = 0x2;

struct EFI_TABLE_HEADER {
    uint64_t Signature;
    uint32_t Revision;
    uint32_t HeaderSize;
    uint32_t CRC32;
    uint32_t Reserved;
};
static_assert(sizeof(EFI_TABLE_HEADER) == 24, "table header");

typedef EFI_STATUS(EFIAPI *EFI_GET_VARIABLE)(const CHAR16 *name, const EFI_GUID *vendor,
                                             uint32_t *attributes, UINTN *data_size, void *data);
typedef EFI_STATUS(EFIAPI *EFI_SET_VARIABLE)(const CHAR16 *name, const EFI_GUID *vendor,
                                             uint32_t attributes, UINTN data_size,
                                             const void *data);
typedef void(EFIAPI *EFI_RESET_SYSTEM)(EFI_RESET_TYPE type, EFI_STATUS status, UINTN data_size,
                                       const void *data);

struct EFI_RUNTIME_SERVICES {
    EFI_TABLE_HEADER Hdr;
    void *GetTime, *SetTime, *GetWakeupTime, *SetWakeupTime;
    void *SetVirtualAddressMap, *ConvertPointer;
    EFI_GET_VARIABLE GetVariable;
    void *GetNextVariableName;
    EFI_SET_VARIABLE SetVariable;
    void *GetNextHighMonotonicCount;
    EFI_RESET_SYSTEM ResetSystem;
};
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetVariable) == 72, "GetVariable slot");
static_assert(offsetof(EFI_RUNTIME_SERVICES, SetVariable) == 88, "SetVariable slot");
static_assert(offsetof(EFI_RUNTIME_SERVICES, ResetSystem) == 104, "ResetSystem slot");

struct EFI_INPUT_KEY {
    uint16_t ScanCode;
    CHAR16 UnicodeChar;
};

struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL {
    void *Reset;
    EFI_STATUS(EFIAPI *ReadKeyStroke)(EFI_SIMPLE_TEXT_INPUT_PROTOCOL *self, EFI_INPUT_KEY *key);
    EFI_EVENT WaitForKey;
};
static_assert(offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, WaitForKey) == 16, "key event slot");

struct SIMPLE_TEXT_OUTPUT_MODE {
    int32_t MaxMode;
    int32_t Mode;
    int32_t Attribute;
    int32_t CursorColumn;
    int32_t CursorRow;
    BOOLEAN CursorVisible;
};

struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL {
    void *Reset;
    EFI_STATUS(EFIAPI *OutputString)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self, const CHAR16 *text);
    void *TestString;
    EFI_STATUS(EFIAPI *QueryMode)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self, UINTN mode, UINTN *columns,
                                  UINTN *rows);
    EFI_STATUS(EFIAPI *SetMode)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self, UINTN mode);
    void *SetAttribute;
    EFI_STATUS(EFIAPI *ClearScreen)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self);
    void *SetCursorPosition;
    EFI_STATUS(EFIAPI *EnableCursor)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *self, BOOLEAN visible);
    SIMPLE_TEXT_OUTPUT_MODE *Mode;
};
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, QueryMode) == 24, "QueryMode slot");
static_assert(offsetof(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL, Mode) == 72, "Mode slot");

struct EFI_FILE_PROTOCOL {
    uint64_t Revision;
    void *Open;
    EFI_STATUS(EFIAPI *Close)(EFI_FILE_PROTOCOL *self);
    void *Delete, *Read, *Write, *GetPosition, *SetPosition, *GetInfo, *SetInfo;
    EFI_STATUS(EFIAPI *Flush)(EFI_FILE_PROTOCOL *self);
};
static_assert(offsetof(EFI_FILE_PROTOCOL, Flush) == 80, "Flush slot");

struct EFI_SIMPLE_FILE_SYSTEM_PROTOCOL {
    uint64_t Revision;
    EFI_STATUS(EFIAPI *OpenVolume)(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL *self, EFI_FILE_PROTOCOL **root);
};

struct EFI_BOOT_SERVICES {
    EFI_TABLE_HEADER Hdr;
    void *RaiseTPL, *RestoreTPL, *AllocatePages, *FreePages, *GetMemoryMap;
    EFI_STATUS(EFIAPI *AllocatePool)(uint32_t pool_type, UINTN size, void **buffer);
    EFI_STATUS(EFIAPI *FreePool)(void *buffer);
    void *CreateEvent, *SetTimer;
    EFI_STATUS(EFIAPI *WaitForEvent)(UINTN count, EFI_EVENT *events, UINTN *index);
    void *SignalEvent, *CloseEvent, *CheckEvent;
    void *InstallProtocolInterface, *ReinstallProtocolInterface, *UninstallProtocolInterface;
    EFI_STATUS(EFIAPI *HandleProtocol)(EFI_HANDLE handle, const EFI_GUID *protocol,
                                       void **interface);
    void *Reserved, *RegisterProtocolNotify, *LocateHandle, *LocateDevicePath;
    void *InstallConfigurationTable, *LoadImage, *StartImage, *Exit, *UnloadImage;
    void *ExitBootServices, *GetNextMonotonicCount, *Stall;
    EFI_STATUS(EFIAPI *SetWatchdogTimer)(UINTN timeout, uint64_t code, UINTN data_size,
                                         const CHAR16 *data);
    void *ConnectController, *DisconnectController;
    EFI_STATUS(EFIAPI *OpenProtocol)(EFI_HANDLE handle, const EFI_GUID *protocol, void **interface,
                                     EFI_HANDLE agent, EFI_HANDLE controller, uint32_t attributes);
    EFI_STATUS(EFIAPI *CloseProtocol)(EFI_HANDLE handle, const EFI_GUID *protocol, EFI_HANDLE agent,
                                      EFI_HANDLE controller);
    void *OpenProtocolInformation, *ProtocolsPerHandle;
    EFI_STATUS(EFIAPI *LocateHandleBuffer)(EFI_LOCATE_SEARCH_TYPE search, const EFI_GUID *protocol,
                                           void *search_key, UINTN *count, EFI_HANDLE **buffer);
};
static_assert(offsetof(EFI_BOOT_SERVICES, AllocatePool) == 64, "AllocatePool slot");
static_assert(offsetof(EFI_BOOT_SERVICES, WaitForEvent) == 96, "WaitForEvent slot");
static_assert(offsetof(EFI_BOOT_SERVICES, HandleProtocol) == 152, "HandleProtocol slot");
static_assert(offsetof(EFI_BOOT_SERVICES, SetWatchdogTimer) == 256, "SetWatchdogTimer slot");
static_assert(offsetof(EFI_BOOT_SERVICES, OpenProtocol) == 280, "OpenProtocol slot");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateHandleBuffer) == 312, "LocateHandleBuffer slot");

struct EFI_SYSTEM_TABLE {
    EFI_TABLE_HEADER Hdr;
    CHAR16 *FirmwareVendor;
    uint32_t FirmwareRevision;
    EFI_HANDLE ConsoleInHandle;
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL *ConIn;
    EFI_HANDLE ConsoleOutHandle;
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *ConOut;
    EFI_HANDLE StandardErrorHandle;
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *StdErr;
    EFI_RUNTIME_SERVICES *RuntimeServices;
    EFI_BOOT_SERVICES *BootServices;
};
static_assert(offsetof(EFI_SYSTEM_TABLE, ConOut) == 64, "ConOut slot");
static_assert(offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == 88, "RuntimeServices slot");
static_assert(offsetof(EFI_SYSTEM_TABLE, BootServices) == 96, "BootServices slot");

// The UEFI Shell's arguments on the image handle.
struct EFI_SHELL_PARAMETERS_PROTOCOL {
    CHAR16 **Argv;
    UINTN Argc;
    void *StdIn, *StdOut, *StdErr;
};

inline constexpr EFI_GUID EFI_SHELL_PARAMETERS_PROTOCOL_GUID = {{0x36, 0x31, 0x2f, 0x75, 0x16, 0x4e,
                                                                 0xdc, 0x4f, 0xa2, 0x2a, 0xe5, 0xf4,
                                                                 0x68, 0x12, 0xf4, 0xca}};
inline constexpr EFI_GUID EFI_SIMPLE_FILE_SYSTEM_PROTOCOL_GUID = {
    {0x22, 0x5b, 0x4e, 0x96, 0x59, 0x64, 0xd2, 0x11, 0x8e, 0x39, 0x00, 0xa0, 0xc9, 0x69, 0x72,
     0x3b}};

inline constexpr uint32_t EfiLoaderData = 2;

// The firmware's tables, recorded once at start-up.
extern EFI_HANDLE gImageHandle;
extern EFI_SYSTEM_TABLE *gST;
extern EFI_BOOT_SERVICES *gBS;
extern EFI_RUNTIME_SERVICES *gRT;
