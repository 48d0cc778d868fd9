// The closing save of a large budget (12,000 to 768,000 flows), unprotected and with normal
// protection: its time, to the disk and to a memory file system (the save's own share, without
// the disk's), and the memory it takes in a fresh process that has just opened the budget,
// beside that process's resident size with the budget open.
//
// The budget files, the stored password record and the installation id go to a temporary folder
// (XDG_DATA_HOME and XDG_CONFIG_HOME point there), never to the user's own folders; the saves to
// memory go to a temporary folder in /dev/shm.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "BudgetGenerator.h"

namespace {

using BudgetGenerator::FlowCount;

const TBenchFolders& Folders() {
    static const TBenchFolders folders;
    return folders;
}

// A temporary folder on a memory file system, removed at the end.
class TMemoryFolder {
public:
    TMemoryFolder() {
        char pattern[] = "/dev/shm/qvbench-XXXXXX";
        if (::mkdtemp(pattern) != nullptr)
            FRoot = pattern;
    }
    ~TMemoryFolder() {
        std::error_code error;
        if (!FRoot.empty())
            std::filesystem::remove_all(FRoot, error);
    }
    TMemoryFolder(const TMemoryFolder&) = delete;
    TMemoryFolder& operator=(const TMemoryFolder&) = delete;
    const std::string& Root() const { return FRoot; }

private:
    std::string FRoot;
};

// Benchmark arguments: the protection level, the flows a month (400: 48,000 flows) and, for the
// memory, the months (120 unless given).
std::uint8_t Level(const benchmark::State& state) {
    return static_cast<std::uint8_t>(state.range(0));
}
BudgetGenerator::TShape Shape(const benchmark::State& state, bool months = false) {
    return {static_cast<int>(state.range(1)),
            months ? static_cast<int>(state.range(2)) : BudgetGenerator::Years * 12, false};
}

// The large budget at the given level, generated once for each shape: saving leaves it as it
// was.
TQVEnvironment& LargeBudget(std::uint8_t level, const BudgetGenerator::TShape& shape) {
    Folders();
    return BudgetGenerator::Budget(level, shape, true);
}

std::string BudgetFile(std::uint8_t level, const BudgetGenerator::TShape& shape) {
    return Folders().File("save" + std::to_string(level) + "-" +
                          std::to_string(shape.FlowsPerMonth) + "x" + std::to_string(shape.Months) +
                          ".qn");
}

// The third argument, when 1, saves to the memory file system.
void BM_Save(benchmark::State& state) {
    TQVEnvironment& env = LargeBudget(Level(state), Shape(state));
    static const TMemoryFolder memory;
    std::string file = BudgetFile(Level(state), Shape(state));
    if (state.range(2) == 1) {
        if (memory.Root().empty()) {
            state.SkipWithError("no folder in /dev/shm");
            return;
        }
        file = memory.Root() + "/budget.qn";
    }
    for (auto _ : state)
        env.SaveToFile(file);
    state.counters["flows"] = FlowCount(env);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}

// ---- Memory of an open and its closing save, in a fresh process

constexpr const char* ProbeVariable = "QV_BENCH_SAVE_PROBE";

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
    return -1;
}

// Writing 5 to clear_refs starts the peak afresh from the present resident size.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The probe process: an empty environment and its resident size; the open of the named budget,
// with the peak since then and the resident size with the budget open; then the closing save
// over the same file, with its time and the peak since the open.
int RunProbe(const char* file) {
    TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
    Environment = new TQVEnvironment();
    QVUtils::ReleaseFreeMemory();
    const long empty = StatusKiB("VmRSS");
    ResetPeak();
    Environment->LoadFromFile(file);
    const long openPeak = StatusKiB("VmHWM");
    const long open = StatusKiB("VmRSS");
    ResetPeak();
    const auto start = std::chrono::steady_clock::now();
    Environment->SaveToFile(file);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    std::printf("%ld %ld %ld %ld %f %d\n", empty, openPeak, open, StatusKiB("VmHWM"), took.count(),
                FlowCount(*Environment));
    return 0;
}

// The least and the median of the figures.
std::pair<double, double> MinMedian(std::vector<double> figures) {
    std::sort(figures.begin(), figures.end());
    const std::size_t n = figures.size();
    return {figures.front(), n % 2 ? figures[n / 2] : (figures[n / 2 - 1] + figures[n / 2]) / 2};
}

// Each repetition a fresh process. Reported, least and median: the resident size with the budget
// open, the lifetime peak across the open and the closing save, and the peak over the resident
// size (the open's and the save's shares also apart, and their peaks above the open budget).
void BM_SaveMemory(benchmark::State& state) {
    const std::string file = BudgetFile(Level(state), Shape(state, true));
    LargeBudget(Level(state), Shape(state, true)).SaveToFile(file);
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        state.SkipWithError("the program's own path is unknown");
        return;
    }
    std::vector<double> openMB, peakMB, ratio, openRatio, openAbove, saveAbove, saveMs;
    int flows = 0;
    for (auto _ : state) {
        long empty = 0, openPeak = 0, open = 0, savePeak = 0;
        double ms = 0;
        const std::string command = std::string(ProbeVariable) + "='" + file + "' '" + self + "'";
        FILE* probe = ::popen(command.c_str(), "r");
        if (probe == nullptr || std::fscanf(probe, "%ld %ld %ld %ld %lf %d", &empty, &openPeak,
                                            &open, &savePeak, &ms, &flows) != 6) {
            if (probe != nullptr)
                ::pclose(probe);
            state.SkipWithError("the probe process gave no figures");
            return;
        }
        ::pclose(probe);
        const double peak = static_cast<double>(std::max(openPeak, savePeak));
        openMB.push_back(static_cast<double>(open) * 1024.0 / 1e6);
        peakMB.push_back(peak * 1024.0 / 1e6);
        ratio.push_back(peak / static_cast<double>(open));
        openRatio.push_back(static_cast<double>(openPeak) / static_cast<double>(open));
        openAbove.push_back(static_cast<double>(openPeak - open) * 1024.0 / 1e6);
        saveAbove.push_back(static_cast<double>(savePeak - open) * 1024.0 / 1e6);
        saveMs.push_back(ms);
    }
    const auto report = [&state](const std::string& name, const std::vector<double>& figures) {
        const auto [least, median] = MinMedian(figures);
        state.counters[name + "_min"] = least;
        state.counters[name + "_med"] = median;
    };
    report("open_MB", openMB);
    report("peak_MB", peakMB);
    report("peak_ratio", ratio);
    report("open_peak_ratio", openRatio);
    report("open_above_open_MB", openAbove);
    report("save_above_open_MB", saveAbove);
    report("save_ms", saveMs);
    state.counters["flows"] = flows;
}

} // namespace

// Arguments: protection level, flows a month (100: 12,000 flows; 400: 48,000; 1,600: 192,000;
// 6,400: 768,000), and for the memory the months. Grouped by size, so that each budget is
// generated once. The same 192,000 flows also in 4 months of 48,000: the memory must not depend
// on the budget's shape.
[[maybe_unused]] const bool Registered = [] {
    for (const long flows : {100L, 400L, 1600L, 6400L}) {
        benchmark::RegisterBenchmark("Save/Unprotected", BM_Save)
            ->Args({0, flows, 0})
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("Save/Normal", BM_Save)
            ->Args({1, flows, 0})
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("SaveToMemory/Unprotected", BM_Save)
            ->Args({0, flows, 1})
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("Save/Memory", BM_SaveMemory)
            ->Args({1, flows, 120})
            ->Iterations(5)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("Save/Memory", BM_SaveMemory)
        ->Args({1, 48000, 4})
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
    return true;
}();

int main(int argc, char** argv) {
    if (const char* file = std::getenv(ProbeVariable))
        return RunProbe(file);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
