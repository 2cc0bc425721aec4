/* interleaved ROUNDS CALLS: the floor, ambrel_status and ambrel_power on the
 * tree at /sys/class/power_supply, each called the same way (through a
 * pointer, its result summed) CALLS times in turn, for ROUNDS rounds whose
 * order rotates, so that the machine's drift and noise fall on all three
 * alike. Prints each reader's median time per call in ns and the median over
 * rounds of each library call's time over the floor's in the same round. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "ambrel.h"
#include "floor.h"

static long floor_reader(void) { return read_every_uevent("/sys/class/power_supply"); }
static long status_reader(void) { return (long)strlen(ambrel_status()); }
static long power_reader(void) { return (long)strlen(ambrel_power()); }

static double now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

static int by_value(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

static double median(double *values, int count)
{
    qsort(values, (size_t)count, sizeof *values, by_value);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: interleaved ROUNDS CALLS\n");
        return 2;
    }
    int rounds = atoi(argv[1]);
    long calls = atol(argv[2]);
    if (rounds < 1 || calls < 1) return 2;
    long (*const readers[3])(void) = {floor_reader, status_reader, power_reader};
    const char *const names[3] = {"floor", "ambrel_status", "ambrel_power"};
    double *times[3], *ratios[2];
    for (int r = 0; r < 3; ++r) times[r] = calloc((size_t)rounds, sizeof(double));
    for (int r = 0; r < 2; ++r) ratios[r] = calloc((size_t)rounds, sizeof(double));
    volatile long sink = 0;
    for (int reader = 0; reader < 3; ++reader) {   /* warm every path once */
        for (long i = 0; i < calls; ++i) sink += readers[reader]();
    }
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 3; ++turn) {
            int reader = (round + turn) % 3;
            double start = now_ns();
            for (long i = 0; i < calls; ++i) sink += readers[reader]();
            times[reader][round] = (now_ns() - start) / (double)calls;
        }
        ratios[0][round] = times[1][round] / times[0][round];
        ratios[1][round] = times[2][round] / times[0][round];
    }
    (void)sink;
    for (int r = 0; r < 3; ++r) printf("%s %.1f\n", names[r], median(times[r], rounds));
    printf("ratio_status %.3f\nratio_power %.3f\n", median(ratios[0], rounds), median(ratios[1], rounds));
    return 0;
}
