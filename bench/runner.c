// SPDX-FileCopyrightText: 2026 The quiplex developers
// SPDX-License-Identifier: MIT
/* Times commands in turn, COUNT rounds, one run of each per round, so all share the machine's
 * conditions; each round starts one command further on, so none always follows the same one.
 * Prints the median, minimum and maximum wall time of a run of each. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#define MAX_COMMANDS 4

static int compare(const void *a, const void *b)
{
    long long x = *(const long long *)a, y = *(const long long *)b;
    return x < y ? -1 : x > y;
}

static long long run(char **argv, int *failed)
{
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    pid_t child = fork();
    if (child == 0) {
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    clock_gettime(CLOCK_MONOTONIC, &end);
    *failed = !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return (end.tv_sec - start.tv_sec) * 1000000000LL + (end.tv_nsec - start.tv_nsec);
}

/* runner COUNT LABEL COMMAND [ARG...] [-- LABEL COMMAND [ARG...]]... */
int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: runner COUNT LABEL COMMAND [ARG...] [-- LABEL COMMAND...]\n");
        return 2;
    }
    int count = atoi(argv[1]);
    char *labels[MAX_COMMANDS];
    char **commands[MAX_COMMANDS];
    int n = 0;
    for (int i = 2; i < argc && n < MAX_COMMANDS;) {
        labels[n] = argv[i];
        commands[n] = argv + i + 1;
        int j = i + 1;
        while (j < argc && strcmp(argv[j], "--") != 0)
            j++;
        if (j < argc)
            argv[j] = NULL;
        n++;
        i = j + 1;
    }
    long long *ns[MAX_COMMANDS];
    int failures[MAX_COMMANDS] = {0};
    for (int c = 0; c < n; c++)
        ns[c] = calloc((size_t)count, sizeof(long long));
    for (int i = 0; i < count; i++) {
        for (int k = 0; k < n; k++) {
            int c = (i + k) % n, failed = 0;
            ns[c][i] = run(commands[c], &failed);
            failures[c] += failed;
        }
    }
    for (int c = 0; c < n; c++) {
        qsort(ns[c], (size_t)count, sizeof(long long), compare);
        printf("BENCH %s runs=%d failures=%d median_us=%.1f min_us=%.1f max_us=%.1f\n", labels[c],
               count, failures[c], ns[c][count / 2] / 1000.0, ns[c][0] / 1000.0,
               ns[c][count - 1] / 1000.0);
    }
    return 0;
}
