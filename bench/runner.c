/* Starts a command N times and prints the median, minimum and maximum wall time of a run. */
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int compare(const void *a, const void *b)
{
    long long x = *(const long long *)a, y = *(const long long *)b;
    return x < y ? -1 : x > y;
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: runner LABEL COUNT COMMAND [ARGUMENT...]\n");
        return 2;
    }
    int count = atoi(argv[2]);
    long long *ns = calloc((size_t)count, sizeof *ns);
    int failures = 0;
    for (int i = 0; i < count; i++) {
        struct timespec start, end;
        clock_gettime(CLOCK_MONOTONIC, &start);
        pid_t child = fork();
        if (child == 0) {
            execv(argv[3], argv + 3);
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        clock_gettime(CLOCK_MONOTONIC, &end);
        failures += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ns[i] = (end.tv_sec - start.tv_sec) * 1000000000LL + (end.tv_nsec - start.tv_nsec);
    }
    qsort(ns, (size_t)count, sizeof *ns, compare);
    printf("BENCH %s runs=%d failures=%d median_us=%.1f min_us=%.1f max_us=%.1f\n", argv[1], count,
           failures, ns[count / 2] / 1000.0, ns[0] / 1000.0, ns[count - 1] / 1000.0);
    return 0;
}
