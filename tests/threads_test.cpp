// Several threads share the library the way the header asks: one lock of
// the caller's around each call and the copy of its answer.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ambrel.h"
#include "scripted_platform.h"

namespace {

TEST(many_callers, under_one_lock_each_gets_its_own_answer)
{
    constexpr int thread_count = 4;
    std::mutex battery_lock;
    std::atomic<long> calls{0};
    std::atomic<long> wrong{0};
    auto stop_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);

    auto caller = [&](int id) {
        // Each thread scripts a battery of its own percentage, so that an
        // answer meant for another thread would show.
        std::uint8_t percent = static_cast<std::uint8_t>(10 + id);
        std::string expected_start = R"({"present":true,"percent":)" + std::to_string(percent) + ",";
        while (std::chrono::steady_clock::now() < stop_at) {
            std::string answer;
            {
                std::lock_guard<std::mutex> hold(battery_lock);
                script_typical_laptop();
                g_script.battery_life_percent = percent;
                answer = ambrel_status();
            }
            if (answer.rfind(expected_start, 0) != 0 || answer.back() != '}') {
                ++wrong;
            }
            ++calls;
        }
    };
    std::vector<std::thread> threads;
    for (int id = 0; id < thread_count; ++id) {
        threads.emplace_back(caller, id);
    }
    for (std::thread &t : threads) {
        t.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(calls.load(), thread_count);
}

}  // namespace
