// Runs of items when memory runs out: each allocation of the test's thread is made to fail in
// turn, so this file replaces the global operator new for its whole test program. Allocations of
// other threads, and of the test's own thread while no failure is armed, are never failed.
#include "platform/Workers.h"

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

thread_local std::size_t Allocations = 0; // made since the failure was armed
thread_local std::size_t FailAt = 0;      // the allocation that fails, counting from 1; 0 none

// Fails the `failAt`-th allocation of this thread while it lives.
class TFailingAllocation {
public:
    explicit TFailingAllocation(std::size_t failAt) {
        Allocations = 0;
        FailAt = failAt;
    }
    ~TFailingAllocation() { FailAt = 0; }
    TFailingAllocation(const TFailingAllocation&) = delete;
    TFailingAllocation& operator=(const TFailingAllocation&) = delete;
};

// The threads of this process as the system lists them.
int Threads() {
    int count = 0;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(tasks))
            count += entry->d_name[0] != '.';
        ::closedir(tasks);
    }
    return count;
}

} // namespace

void* operator new(std::size_t size) {
    if (FailAt != 0 && ++Allocations == FailAt)
        throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size))
        return block;
    throw std::bad_alloc();
}

// What the operator new above gives back; the compiler sees only its malloc.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

// Whichever allocation fails (of the items, of the run's state, of a thread's start), the run
// ends: it raises std::bad_alloc or hands back every item, and no thread is left running.
TEST(WorkersTest, RunsEndWhenMemoryRunsOut) {
    constexpr int Items = 12;
    std::vector<int> expected;
    for (int i = 0; i < Items; ++i)
        expected.push_back(2 * i);
    const int before = Threads();
    ::alarm(60); // a run that hangs ends the test program instead of the whole test's time
    std::size_t made = 0;
    int raisedRuns = 0, finishedRuns = 0; // of those where an allocation failed
    for (std::size_t failAt = 1; failAt < 10000; ++failAt) {
        std::vector<int> taken;
        taken.reserve(Items);
        bool raised = false;
        {
            int next = 0;
            const TFailingAllocation fail(failAt);
            try {
                Workers::RunOrdered<int>(
                    3, 2,
                    [&](int& item, std::size_t& bytes) {
                        bytes = 1;
                        item = next++;
                        return item < Items;
                    },
                    [](int& item) { item *= 2; }, [&](int& item) { taken.push_back(item); });
            } catch (const std::bad_alloc&) {
                raised = true;
            }
            made = Allocations;
        }
        if (!raised) {
            EXPECT_EQ(taken, expected) << failAt;
        }
        raisedRuns += raised;
        finishedRuns += !raised && made >= failAt;
        // Joined threads leave the system's list a moment after the join.
        for (int wait = 0; wait < 2000 && Threads() != before; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(Threads(), before) << failAt;
        if (made < failAt)
            break; // every allocation of a whole run has failed once
    }
    ::alarm(0);
    // Some failures stop the run; those of a thread's start leave the work to fewer threads.
    EXPECT_GT(raisedRuns, 0);
    EXPECT_GT(finishedRuns, 0);
}
