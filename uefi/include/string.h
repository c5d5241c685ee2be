// The string functions of the UEFI build's small C library.
#pragma once
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
size_t strlen(const char *text);
char *strcpy(char *to, const char *from);
char *strncpy(char *to, const char *from, size_t count);
char *strstr(const char *text, const char *part);
void *memcpy(void *to, const void *from, size_t count);
void *memmove(void *to, const void *from, size_t count);
void *memset(void *to, int value, size_t count);
int memcmp(const void *a, const void *b, size_t count);
#ifdef __cplusplus
}
#endif
