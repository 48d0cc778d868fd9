#include "platform/Workers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace Workers {

std::function<void(unsigned index)> StartFault;

namespace {

// The CPUs of the calling thread's affinity mask (a mask for up to 1024 CPUs: more than a desktop
// has).
unsigned AffinityCpus() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

// A small file of the system's, read with plain calls: the threads' count is asked at every run,
// which should cost no more than a few system calls.
std::string ReadText(const std::string& path) {
    std::string text;
    const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0)
        return text;
    char buffer[512];
    for (ssize_t n; (n = ::read(handle, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
        if (n > 0)
            text.append(buffer, static_cast<std::size_t>(n));
    ::close(handle);
    return text;
}

// "quota period" in microseconds, as whole CPUs rounded up; 0 for "max", -1 or anything else.
unsigned QuotaCpus(std::string_view text) {
    long long numbers[2];
    int count = 0;
    const char* blanks = " \t\r\n";
    for (std::size_t at = text.find_first_not_of(blanks); at != std::string_view::npos;
         at = text.find_first_not_of(blanks, at)) {
        std::size_t end = std::min(text.find_first_of(blanks, at), text.size());
        if (count == 2)
            return 0;
        auto [stop, error] = std::from_chars(text.data() + at, text.data() + end, numbers[count]);
        if (error != std::errc() || stop != text.data() + end)
            return 0;
        ++count;
        at = end;
    }
    if (count != 2 || numbers[0] <= 0 || numbers[1] <= 0)
        return 0;
    long long cpus = numbers[0] / numbers[1] + (numbers[0] % numbers[1] != 0 ? 1 : 0);
    return static_cast<unsigned>(std::min<long long>(cpus, UINT_MAX));
}

} // namespace

unsigned CgroupCpuQuota(std::string_view cgroups,
                        const std::function<std::string(const std::string& path)>& read) {
    unsigned least = 0;
    while (!cgroups.empty()) {
        // "hierarchy:controllers:path"; cgroup v2 is hierarchy 0 with no controllers named.
        std::string_view line = cgroups.substr(0, cgroups.find('\n'));
        cgroups.remove_prefix(std::min(line.size() + 1, cgroups.size()));
        std::size_t first = line.find(':');
        std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos)
            continue;
        std::string_view controllers = line.substr(first + 1, second - first - 1);
        std::string path(line.substr(second + 1));
        bool v2 = line.substr(0, first) == "0" && controllers.empty();
        bool v1 = ("," + std::string(controllers) + ",").find(",cpu,") != std::string::npos;
        if ((!v2 && !v1) || path.empty() || path[0] != '/')
            continue;
        // A cgroup outside this process's namespace is seen from its root, the mount's.
        if (path.find("/..") != std::string::npos)
            path = "/";
        std::string mount = v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/cpu";
        for (;;) {
            std::string folder = mount + (path == "/" ? "" : path);
            unsigned cpus = v2 ? QuotaCpus(read(folder + "/cpu.max"))
                               : QuotaCpus(read(folder + "/cpu.cfs_quota_us") + " " +
                                           read(folder + "/cpu.cfs_period_us"));
            if (cpus != 0 && (least == 0 || cpus < least))
                least = cpus;
            if (path == "/")
                break;
            path.erase(std::max<std::size_t>(path.rfind('/'), 1));
        }
    }
    return least;
}

unsigned UsableCpus() {
    unsigned cpus = AffinityCpus();
    unsigned quota = CgroupCpuQuota(ReadText("/proc/self/cgroup"), ReadText);
    if (quota != 0)
        cpus = std::min(cpus, quota);
    return std::max(cpus, 1u);
}

unsigned ThreadsBeside(unsigned limit) {
    return std::min(limit, UsableCpus() - 1);
}

namespace {

// Starts `body` on `thread`; false, with nothing started, when no thread can be had.
template <class TBody> bool TryStart(std::jthread& thread, unsigned index, TBody&& body) {
    try {
        if (StartFault)
            StartFault(index);
        thread = std::jthread(std::forward<TBody>(body));
        return true;
    } catch (...) {
        // Whatever stopped the thread, the work is done with the threads there are.
        return false;
    }
}

// One RunOrdered call. Everything below the mutex is shared with the workers.
class TOrderedRun {
public:
    TOrderedRun(unsigned workers, std::size_t window,
                const std::function<void(Detail::TItemBox& item)>& work)
        : FWindow(window), FWork(work), FWorkers(workers) {}
    ~TOrderedRun();
    TOrderedRun(const TOrderedRun&) = delete;
    TOrderedRun& operator=(const TOrderedRun&) = delete;

    void Run(const std::function<std::unique_ptr<Detail::TItemBox>(std::size_t& bytes)>& make,
             const std::function<void(Detail::TItemBox& item)>& take);

private:
    static constexpr std::size_t None = std::numeric_limits<std::size_t>::max();

    struct TEntry {
        std::unique_ptr<Detail::TItemBox> Item;
        std::size_t Bytes = 0;
        std::size_t Index = 0; // in the order made
        bool Done = false;     // worked, or its work failed
        std::exception_ptr Error;
    };

    bool Fits(const TEntry& entry) const {
        return FBytes == 0 || (FBytes <= FWindow && entry.Bytes <= FWindow - FBytes);
    }
    void Admit(TEntry&& entry);
    // Starts one more worker, or settles for the ones there are. Called without the lock, which
    // the new worker takes at once.
    void AddWorker();
    void Work(TEntry& entry, std::unique_lock<std::mutex>& lock);
    void WorkerLoop(std::stop_token stop);

    const std::size_t FWindow;
    const std::function<void(Detail::TItemBox& item)>& FWork;
    // The caller's alone.
    unsigned FWorkers; // threads wanted; fewer once one cannot be started
    std::vector<std::jthread> FThreads;

    std::mutex FMutex;
    std::condition_variable_any FWorkReady; // an item is pending, or the workers are to stop
    std::condition_variable FItemDone;      // the work of an item ended
    std::deque<TEntry> FInFlight;           // handed to the workers and not yet taken, in order
    std::deque<TEntry*> FPending;           // of those, the ones no one works on yet, in order
    std::size_t FBytes = 0;                 // of the items in flight
    std::size_t FFirstError = None;         // the least index whose work failed
};

void TOrderedRun::Run(
    const std::function<std::unique_ptr<Detail::TItemBox>(std::size_t& bytes)>& make,
    const std::function<void(Detail::TItemBox& item)>& take) {
    std::optional<TEntry> next; // made and waiting for room in the window
    std::size_t made = 0;
    bool more = true;
    std::unique_lock lock(FMutex);
    for (;;) {
        if (!FInFlight.empty() && FInFlight.front().Done) {
            TEntry& front = FInFlight.front();
            if (front.Error)
                std::rethrow_exception(front.Error);
            // Only this thread removes entries, so `front` stays while the lock is let go.
            lock.unlock();
            take(*front.Item);
            lock.lock();
            FBytes -= front.Bytes;
            FInFlight.pop_front();
        } else if (next && FFirstError == None && Fits(*next)) {
            Admit(std::move(*next));
            next.reset();
            // A worker an item, up to the count: none starts that would have nothing to do.
            if (FThreads.size() < FWorkers) {
                lock.unlock();
                AddWorker();
                lock.lock();
            }
        } else if (!next && more && FFirstError == None &&
                   (FWorkers == 0 ? FInFlight.empty() : FBytes < FWindow || FBytes == 0)) {
            // Without workers an item is made only when the one before is taken: more could
            // not be worked on any sooner.
            lock.unlock();
            TEntry entry;
            entry.Item = make(entry.Bytes);
            lock.lock();
            entry.Bytes = std::max<std::size_t>(entry.Bytes, 1);
            entry.Index = made++;
            if (entry.Item)
                next = std::move(entry);
            else
                more = false;
        } else if (FInFlight.empty()) {
            return;
        } else if (FThreads.empty()) {
            TEntry& entry = *FPending.front();
            FPending.pop_front();
            Work(entry, lock);
        } else {
            FItemDone.wait(lock, [this] { return FInFlight.front().Done; });
        }
    }
}

void TOrderedRun::Admit(TEntry&& entry) {
    FBytes += entry.Bytes;
    FInFlight.push_back(std::move(entry));
    FPending.push_back(&FInFlight.back());
    FWorkReady.notify_one();
}

void TOrderedRun::AddWorker() {
    const auto index = static_cast<unsigned>(FThreads.size());
    // Room first, so that a thread once started is always kept, for the destructor to stop and
    // join with the others: a push_back failing after the start would join it here, under the
    // lock if this were ever called holding it, and wait for ever.
    try {
        FThreads.reserve(index + 1);
    } catch (...) {
        FWorkers = index;
        return;
    }
    std::jthread thread;
    if (TryStart(thread, index, [this](std::stop_token stop) { WorkerLoop(stop); }))
        FThreads.push_back(std::move(thread));
    else
        FWorkers = index;
}

void TOrderedRun::Work(TEntry& entry, std::unique_lock<std::mutex>& lock) {
    lock.unlock();
    std::exception_ptr error;
    try {
        FWork(*entry.Item);
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    entry.Done = true;
    entry.Error = error;
    if (error)
        FFirstError = std::min(FFirstError, entry.Index);
    FItemDone.notify_one();
}

void TOrderedRun::WorkerLoop(std::stop_token stop) {
    std::unique_lock lock(FMutex);
    // After a failed work only the items before it are worth working on.
    auto ready = [this] { return !FPending.empty() && FPending.front()->Index < FFirstError; };
    while (FWorkReady.wait(lock, stop, ready) && !stop.stop_requested()) {
        TEntry& entry = *FPending.front();
        FPending.pop_front();
        Work(entry, lock);
    }
}

TOrderedRun::~TOrderedRun() {
    // All are told first, so that they wind down together; then each is joined.
    for (std::jthread& thread : FThreads)
        thread.request_stop();
    FThreads.clear();
}

} // namespace

namespace Detail {
void RunBoxes(unsigned workers, std::size_t window,
              const std::function<std::unique_ptr<TItemBox>(std::size_t& bytes)>& make,
              const std::function<void(TItemBox& item)>& work,
              const std::function<void(TItemBox& item)>& take) {
    TOrderedRun run(workers, window, work);
    run.Run(make, take);
}
} // namespace Detail

TBackgroundTask::~TBackgroundTask() {
    if (FThread.joinable())
        FThread.join();
}

bool TBackgroundTask::Start(std::function<void()> run) {
    if (FThread.joinable())
        return false;
    FError = nullptr;
    return TryStart(FThread, 0, [this, run = std::move(run)](std::stop_token) {
        try {
            run();
        } catch (...) {
            FError = std::current_exception();
        }
    });
}

void TBackgroundTask::Wait() {
    if (!FThread.joinable())
        return;
    FThread.join();
    std::exception_ptr error = std::exchange(FError, nullptr);
    if (error)
        std::rethrow_exception(error);
}

} // namespace Workers
