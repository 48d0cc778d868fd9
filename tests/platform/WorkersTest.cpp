#include "platform/Workers.h"

#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <new>
#include <numeric>
#include <random>
#include <set>
#include <system_error>

#include <sched.h>

using namespace std::chrono_literals;

namespace {

const std::thread::id TestThread = std::this_thread::get_id();

// Worker threads alive: each counts itself in at its first work and out as it ends, before a join
// can return.
std::atomic<int> LiveWorkers{0};
struct TLiveMark {
    TLiveMark() { ++LiveWorkers; }
    ~TLiveMark() { --LiveWorkers; }
};

struct TStartFault {
    explicit TStartFault(std::function<void(unsigned)> hook) { Workers::StartFault = hook; }
    ~TStartFault() { Workers::StartFault = nullptr; }
};

struct TItem {
    int Index = -1;
    std::size_t Bytes = 0;
    std::chrono::microseconds Delay{};
};

struct TOutcome {
    std::vector<int> Taken;
    std::string Error;
    bool WindowKept = true;
    std::set<std::thread::id> Threads; // that worked
    int LastWorked = -1;               // the last item in order whose work began
    int LiveAfter = 0;
};

std::vector<int> Upto(int count) {
    std::vector<int> indexes(count);
    std::iota(indexes.begin(), indexes.end(), 0);
    return indexes;
}

// Runs `count` items of random sizes, every 17th larger than the window, whose work sleeps a
// random time. Item `failAt` raises in `failIn` ("make", "work" or "take"). In work every later
// item raises too, and sooner, so that the first error in time is not the first in order; after a
// failing take the later items work long, so that a thread left behind would be seen alive.
TOutcome RunItems(unsigned workers, std::size_t window, int count, std::string failIn = "",
                  int failAt = -1) {
    TOutcome out;
    std::mt19937 random(count);
    std::mutex mutex; // for what the workers track
    std::size_t made = 0, begun = 0;
    int next = 0;
    auto fail = [&](const char* where, int index) {
        if (failIn == where && (index == failAt || (failIn == "work" && index > failAt)))
            throw Exception(failIn + " " + std::to_string(index));
    };
    try {
        Workers::RunOrdered<TItem>(
            workers, window,
            [&](TItem& item, std::size_t& bytes) {
                if (next == count)
                    return false;
                fail("make", item.Index = next++);
                item.Bytes = bytes =
                    item.Index % 17 == 5 ? 2 * window : 1 + random() % (window / 4);
                item.Delay = std::chrono::microseconds(random() % 300);
                if (failIn == "work" && item.Index >= failAt)
                    item.Delay = item.Index == failAt ? 20ms : 0ms;
                else if (failIn == "take" && item.Index > failAt)
                    item.Delay = 5ms;
                std::lock_guard lock(mutex);
                out.WindowKept &= made == 0 || made < window; // made only while there is room
                made += bytes;
                return true;
            },
            [&](TItem& item) {
                if (std::this_thread::get_id() != TestThread) {
                    thread_local TLiveMark mark;
                }
                {
                    std::lock_guard lock(mutex);
                    out.Threads.insert(std::this_thread::get_id());
                    out.LastWorked = std::max(out.LastWorked, item.Index);
                    begun += item.Bytes; // worked within the window, or alone
                    out.WindowKept &= begun <= window || begun == item.Bytes;
                }
                std::this_thread::sleep_for(item.Delay);
                fail("work", item.Index);
            },
            [&](TItem& item) {
                fail("take", item.Index);
                std::lock_guard lock(mutex);
                made -= item.Bytes;
                begun -= item.Bytes;
                out.Taken.push_back(item.Index);
            });
    } catch (const Exception& error) {
        out.Error = error.Message();
    }
    out.LiveAfter = LiveWorkers;
    return out;
}

} // namespace

TEST(WorkersTest, ResultsComeBackInOrderWithinTheWindow) {
    for (unsigned workers : {0u, 1u, 2u, 7u})
        for (std::size_t window : {64u, 100000u}) {
            SCOPED_TRACE(testing::Message() << workers << " workers, window " << window);
            TOutcome out = RunItems(workers, window, 150);
            EXPECT_EQ(out.Taken, Upto(150));
            EXPECT_TRUE(out.WindowKept);
            EXPECT_LE(out.Threads.size(), std::max(workers, 1u));
            EXPECT_EQ(out.Threads.count(TestThread), workers == 0 ? 1u : 0u);
            EXPECT_EQ(out.LiveAfter, 0);
        }
}

TEST(WorkersTest, WorkersWorkAtOnce) {
    // Each work waits for all four to have begun, which only four threads at once can do.
    std::atomic<int> made = 0, begun = 0, met = 0;
    Workers::RunOrdered<int>(
        4, 4, [&](int&, std::size_t& bytes) { return bytes = 1, made++ < 4; },
        [&](int&) {
            ++begun;
            for (int wait = 0; begun < 4 && wait < 5000; ++wait)
                std::this_thread::sleep_for(1ms);
            met += begun == 4;
        },
        [](int&) {});
    EXPECT_EQ(met, 4);
}

TEST(WorkersTest, TheFirstErrorInOrderEndsTheRun) {
    const struct {
        unsigned workers;
        const char* failIn;
        int failAt;
    } cases[] = {{0, "make", 5},  {2, "make", 5}, {7, "make", 40}, {0, "work", 7}, {1, "work", 7},
                 {7, "work", 30}, {7, "work", 0}, {0, "take", 9},  {2, "take", 0}, {7, "take", 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.workers << " workers");
        TOutcome out = RunItems(c.workers, 1000, 60, c.failIn, c.failAt);
        EXPECT_EQ(out.Error, c.failIn + (" " + std::to_string(c.failAt)));
        // A make's error comes at once: items before it may be left untaken.
        bool make = c.failIn == std::string("make");
        EXPECT_EQ(out.Taken, Upto(make ? static_cast<int>(out.Taken.size()) : c.failAt));
        if (c.workers <= 1 && c.failIn == std::string("work")) {
            EXPECT_EQ(out.LastWorked, c.failAt); // worked in order: none after it
        }
        EXPECT_EQ(out.LiveAfter, 0);
    }
}

TEST(WorkersTest, ThreadsThatCannotStartLeaveTheWorkToFewer) {
    const struct {
        unsigned startable;
        std::exception_ptr raise;
    } cases[] = {{0, std::make_exception_ptr(std::system_error(EAGAIN, std::generic_category()))},
                 {1, std::make_exception_ptr(Exception("no thread"))},
                 {3, std::make_exception_ptr(std::bad_alloc())}};
    for (const auto& c : cases) {
        unsigned tried = 0;
        TStartFault fault([&](unsigned index) {
            tried = std::max(tried, index + 1);
            if (index >= c.startable)
                std::rethrow_exception(c.raise);
        });
        TOutcome out = RunItems(7, 1000, 60);
        EXPECT_EQ(out.Taken, Upto(60));
        EXPECT_LE(out.Threads.size(), std::max(c.startable, 1u));
        EXPECT_EQ(out.Threads.count(TestThread), c.startable == 0 ? 1u : 0u);
        EXPECT_EQ(tried, c.startable + 1); // no more tries after a failure
    }
    // Workers start as items come, never more than there are items.
    unsigned started = 0;
    TStartFault count([&](unsigned) { ++started; });
    EXPECT_EQ(RunItems(7, 1000, 2).Taken, Upto(2));
    EXPECT_LE(started, 2u);
}

TEST(WorkersTest, UsableCpusFollowTheAffinity) {
    cpu_set_t all, some;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    const unsigned before = Workers::UsableCpus();
    EXPECT_LE(before, static_cast<unsigned>(CPU_COUNT(&all)));
    CPU_ZERO(&some);
    for (int cpu = 0, n = 0; cpu < CPU_SETSIZE && n < 2; ++cpu)
        if (CPU_ISSET(cpu, &all)) {
            CPU_SET(cpu, &some);
            ASSERT_EQ(sched_setaffinity(0, sizeof some, &some), 0);
            const unsigned usable = Workers::UsableCpus();
            ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
            EXPECT_EQ(usable, std::min(static_cast<unsigned>(++n), before));
        }
}

// On one CPU the caller works alone: a run given the threads to start beside it starts none.
TEST(WorkersTest, OneCpuStartsNoThread) {
    cpu_set_t all, one;
    ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
    CPU_ZERO(&one);
    for (int cpu = 0; CPU_COUNT(&one) == 0 && cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all))
            CPU_SET(cpu, &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    unsigned started = 0;
    TOutcome out;
    {
        TStartFault count([&](unsigned) { ++started; });
        out = RunItems(Workers::ThreadsBeside(8), 1000, 20);
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
    EXPECT_EQ(started, 0u);
    EXPECT_EQ(out.Taken, Upto(20));
    EXPECT_EQ(out.Threads, std::set<std::thread::id>{TestThread});
}

TEST(WorkersTest, CgroupQuotas) {
    const std::string v1 = "/sys/fs/cgroup/cpu/u/cpu.cfs_", v2 = "/sys/fs/cgroup/";
    const struct {
        const char* cgroups;
        std::map<std::string, std::string> files;
        unsigned cpus;
    } cases[] = {
        {"0::/a\n", {{v2 + "a/cpu.max", "max 100000\n"}}, 0},
        {"0::/a\n", {{v2 + "a/cpu.max", "150000 100000\n"}}, 2},
        {"0::/a\n", {{v2 + "a/cpu.max", "50000 100000\n"}}, 1},
        // Parents count, and the least wins.
        {"0::/a/b\n", {{v2 + "a/b/cpu.max", "max 100000"}, {v2 + "a/cpu.max", "300000 100000"}}, 3},
        {"0::/a/b\n", {{v2 + "a/b/cpu.max", "100000 100000"}, {v2 + "a/cpu.max", "4 1"}}, 1},
        // Named from outside this namespace: the mount's root is this process's.
        {"0::/../x\n", {{v2 + "cpu.max", "200000 100000"}, {v2 + "../cpu.max", "1 1"}}, 2},
        // cgroup v1, up from the cgroup named too (a container sees its own at the mount's root).
        {"9:memory:/u/d\n4:cpu,cpuacct:/u/d\n",
         {{v1 + "quota_us", "250"}, {v1 + "period_us", "100"}},
         3},
        {"4:cpu:/u\n", {{v1 + "quota_us", "-1\n"}, {v1 + "period_us", "100000\n"}}, 0},
        {"3:cpuset:/u\n", {{v1 + "quota_us", "1"}, {v1 + "period_us", "1"}}, 0},
        // What does not read as a quota and a period sets none.
        {"0::/a\n", {{v2 + "a/cpu.max", "abc 100000"}}, 0},
        {"0::/a\n", {{v2 + "a/cpu.max", "150000"}}, 0},
        {"0::/a\n", {{v2 + "a/cpu.max", "150000 0"}}, 0},
        {"0::/a\n", {{v2 + "a/cpu.max", "1.5 1 1"}}, 0},
        {"0::a\ngarbage\n::\n", {{v2 + "cpu.max", "1 1"}}, 0},
    };
    for (const auto& c : cases) {
        auto read = [&](const std::string& path) {
            auto found = c.files.find(path);
            return found == c.files.end() ? std::string() : found->second;
        };
        EXPECT_EQ(Workers::CgroupCpuQuota(c.cgroups, read), c.cpus) << &c - cases;
    }
}

TEST(WorkersTest, BackgroundTask) {
    Workers::TBackgroundTask task;
    task.Wait(); // none runs: nothing to wait for
    std::thread::id ran;
    ASSERT_TRUE(task.Start([&] {
        ran = std::this_thread::get_id();
        throw Exception("failed");
    }));
    EXPECT_TRUE(task.Started());
    EXPECT_FALSE(task.Start([] {})); // one at a time
    EXPECT_THROW(task.Wait(), Exception);
    EXPECT_NE(ran, TestThread);
    EXPECT_FALSE(task.Started());
    EXPECT_NO_THROW(task.Wait()); // raised once

    std::atomic<bool> done = false;
    {
        Workers::TBackgroundTask waited;
        ASSERT_TRUE(waited.Start([&] {
            std::this_thread::sleep_for(30ms);
            done = true;
            throw Exception("dropped");
        }));
    }
    EXPECT_TRUE(done); // the destructor waited, and dropped the error

    TStartFault fault([](unsigned) { throw std::bad_alloc(); });
    bool run = false;
    Workers::TBackgroundTask none;
    EXPECT_FALSE(none.Start([&] { run = true; }));
    EXPECT_FALSE(none.Started() || run);
}
