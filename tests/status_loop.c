/* Calls ambrel_status and ambrel_power COUNT times each (default 10000)
 * through the shared library and prints the process's resident memory after
 * the first tenth of the calls and after all of them, so that growth shows.
 * Exits 1 if any answer differs from the first of its function. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ambrel.h"

static long resident_kib(void)
{
    FILE *f = fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (f != NULL && fgets(line, sizeof line, f) != NULL) {
        if (strncmp(line, "VmRSS:", 6) == 0) kib = strtol(line + 6, NULL, 10);
    }
    if (f != NULL) fclose(f);
    return kib;
}

int main(int argc, char **argv)
{
    long count = argc > 1 ? strtol(argv[1], NULL, 10) : 10000;
    static char first[16384], first_power[16384];
    snprintf(first, sizeof first, "%s", ambrel_status());
    snprintf(first_power, sizeof first_power, "%s", ambrel_power());
    long early = 0;
    for (long i = 1; i < count; ++i) {
        if (strcmp(ambrel_status(), first) != 0 || strcmp(ambrel_power(), first_power) != 0) {
            fprintf(stderr, "call %ld answered differently\n", i);
            return 1;
        }
        if (i == count / 10) early = resident_kib();
    }
    printf("%ld calls; resident after %ld: %ld KiB, after %ld: %ld KiB; answers %s %s\n", count, count / 10, early,
           count, resident_kib(), first, first_power);
    return 0;
}
