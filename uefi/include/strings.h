// strcasecmp for the UEFI build's small C library.
#pragma once
#ifdef __cplusplus
extern "C" {
#endif
int strcasecmp(const char *a, const char *b);
#ifdef __cplusplus
}
#endif
