#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

// The one way the program runs work on threads besides its own: a run of items worked on by a
// bounded number of threads and handed back in order, and a function run beside the caller.
namespace Workers {

// The CPUs this process may run on: those of the calling thread's affinity (which the threads it
// starts inherit), capped by the CPU quota of its cgroups; at least 1. Read afresh each call.
unsigned UsableCpus();

// Worker threads to start beside the calling thread, which has work of its own: at most `limit`,
// and one fewer than the usable CPUs, so on one CPU none.
unsigned ThreadsBeside(unsigned limit);
// The CPUs that the cgroup CPU quotas of a process allow, rounded up; 0 when none sets one.
// `cgroups` is the text of its /proc/self/cgroup; `read` gives the text of a file by its path,
// empty when there is none. Each cgroup holding the CPU controller and its parents count, where
// the controllers are usually mounted (cgroup v2: /sys/fs/cgroup/.../cpu.max, "quota period" or
// "max period"; cgroup v1: /sys/fs/cgroup/cpu/.../cpu.cfs_quota_us and cpu.cfs_period_us, a
// quota of -1 being none), and the least wins. Text that does not read as a quota and a period
// sets none.
unsigned CgroupCpuQuota(std::string_view cgroups,
                        const std::function<std::string(const std::string& path)>& read);

// For tests only: called on the starting thread just before each thread is started, with the
// number of threads this run or task has started so far. What it raises counts as a failure to
// start that thread.
extern std::function<void(unsigned index)> StartFault;

namespace Detail {
// An item of a run, of whatever type, while it is in flight.
struct TItemBox {
    virtual ~TItemBox() = default;
};
// The run of RunOrdered with its items' type erased; `make` gives null when there are no more.
void RunBoxes(unsigned workers, std::size_t window,
              const std::function<std::unique_ptr<TItemBox>(std::size_t& bytes)>& make,
              const std::function<void(TItemBox& item)>& work,
              const std::function<void(TItemBox& item)>& take);
} // namespace Detail

// Items made one by one on the calling thread, worked on by up to `workers` threads at once in
// any order, and handed back to the calling thread in the order they were made.
// Items handed to the workers and not yet taken are at most `window` bytes, and always at least
// one, so an item larger than the window still runs, alone. The next item is made only while
// fewer than `window` bytes are in flight, and waits until it fits; so at most one item more than
// the window holds is made and not yet taken. An item counts at least one byte.
//  - make(item, bytes): on the caller; fills the next item (a fresh default-made TItem) and tells
//    its size in bytes; false when there are no more (the item is then dropped).
//  - work(item): on a worker (on the caller when there are none), several items at once.
//  - take(item): on the caller, each item after its work, in the order made.
// The first error in the items' order is raised on the caller once every worker has stopped: an
// error of make or take at once; an error of work when its item's turn comes (items made after it
// are dropped, and none of them is begun once the error is known; items before it are still
// taken). No thread outlives the call, on any path. A thread that cannot be started means fewer
// workers; with none, the caller works each item itself.
template <class TItem>
void RunOrdered(unsigned workers, std::size_t window,
                const std::function<bool(TItem& item, std::size_t& bytes)>& make,
                const std::function<void(TItem& item)>& work,
                const std::function<void(TItem& item)>& take) {
    struct TBox : Detail::TItemBox {
        TItem Item{};
    };
    Detail::RunBoxes(
        workers, window,
        [&make](std::size_t& bytes) -> std::unique_ptr<Detail::TItemBox> {
            auto box = std::make_unique<TBox>();
            if (!make(box->Item, bytes))
                return nullptr;
            return box;
        },
        [&work](Detail::TItemBox& box) { work(static_cast<TBox&>(box).Item); },
        [&take](Detail::TItemBox& box) { take(static_cast<TBox&>(box).Item); });
}

// One function run on a thread of its own while the caller goes on.
class TBackgroundTask {
public:
    TBackgroundTask() = default;
    ~TBackgroundTask(); // waits for the function; its error is dropped
    TBackgroundTask(const TBackgroundTask&) = delete;
    TBackgroundTask& operator=(const TBackgroundTask&) = delete;

    // Runs `run` on a thread of its own; false, with nothing run, when no thread can be had
    // (nor while this task still has a function started and not waited for).
    bool Start(std::function<void()> run);
    // Waits for the function to end and raises what it raised (once); nothing when none runs.
    void Wait();
    bool Started() const { return FThread.joinable(); }

private:
    std::jthread FThread;
    std::exception_ptr FError; // written by the thread, read after it is joined
};

} // namespace Workers
