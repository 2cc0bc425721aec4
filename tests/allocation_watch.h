// Watches the C library's allocations between arm and disarm: counts them,
// fails the Nth one on request, and remembers the blocks still held. The
// executable is linked with --wrap for malloc, calloc, realloc and free, so
// every allocation the library makes (yyjson's default allocator included)
// passes through here to the real allocator.
#ifndef AMBREL_TESTS_ALLOCATION_WATCH_H
#define AMBREL_TESTS_ALLOCATION_WATCH_H

struct allocation_report {
    int allocations;   // calls of malloc, calloc and realloc while armed
    int live_blocks;   // blocks obtained while armed and not released since
};

// fail_at: the 1-based allocation that fails, 0 for none.
void arm_allocation_watch(int fail_at);
allocation_report disarm_allocation_watch();

#endif
