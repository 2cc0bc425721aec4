/* call_loop ambrel|power|floor N: N status calls or N power calls through
 * the shared library, or N rounds of the floor, and nothing else, so that
 * strace and callgrind can count what one call costs (run once with N = 0
 * for the fixed part). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ambrel.h"
#include "floor.h"

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: call_loop ambrel|power|floor N\n");
        return 2;
    }
    long count = strtol(argv[2], NULL, 10);
    int floor_only = strcmp(argv[1], "floor") == 0;
    int power = strcmp(argv[1], "power") == 0;
    volatile long sink = 0;
    for (long i = 0; i < count; ++i) {
        sink += floor_only ? read_every_uevent("/sys/class/power_supply")
                           : (long)strlen(power ? ambrel_power() : ambrel_status());
    }
    (void)sink;
    return 0;
}
