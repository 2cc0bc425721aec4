#include "allocation_watch.h"

#include <cstddef>

extern "C" {
void *__real_malloc(std::size_t size);
void *__real_calloc(std::size_t count, std::size_t size);
void *__real_realloc(void *block, std::size_t size);
void __real_free(void *block);
}

namespace {

struct watch_state {
    bool armed;
    int fail_at;
    int allocations;
    void *blocks[256];
    int block_count;
    bool overflow;
};
watch_state g_watch;

void remember(void *block)
{
    if (block == nullptr) return;
    if (g_watch.block_count < 256) {
        g_watch.blocks[g_watch.block_count++] = block;
    } else {
        g_watch.overflow = true;
    }
}

void forget(void *block)
{
    for (int i = 0; i < g_watch.block_count; ++i) {
        if (g_watch.blocks[i] == block) {
            g_watch.blocks[i] = g_watch.blocks[--g_watch.block_count];
            return;
        }
    }
}

// Counts one allocation; true when this one is to fail.
bool count_and_fail()
{
    return ++g_watch.allocations == g_watch.fail_at;
}

}  // namespace

void arm_allocation_watch(int fail_at)
{
    g_watch = watch_state{};
    g_watch.fail_at = fail_at;
    g_watch.armed = true;
}

allocation_report disarm_allocation_watch()
{
    g_watch.armed = false;
    int live = g_watch.overflow ? 1000 : g_watch.block_count;
    return {g_watch.allocations, live};
}

extern "C" {

void *__wrap_malloc(std::size_t size)
{
    if (!g_watch.armed) return __real_malloc(size);
    if (count_and_fail()) return nullptr;
    void *block = __real_malloc(size);
    remember(block);
    return block;
}

void *__wrap_calloc(std::size_t count, std::size_t size)
{
    if (!g_watch.armed) return __real_calloc(count, size);
    if (count_and_fail()) return nullptr;
    void *block = __real_calloc(count, size);
    remember(block);
    return block;
}

void *__wrap_realloc(void *block, std::size_t size)
{
    if (!g_watch.armed) return __real_realloc(block, size);
    if (count_and_fail()) return nullptr;
    void *moved = __real_realloc(block, size);
    if (moved != nullptr) {
        forget(block);
        remember(moved);
    }
    return moved;
}

void __wrap_free(void *block)
{
    if (g_watch.armed) forget(block);
    __real_free(block);
}

}  // extern "C"
