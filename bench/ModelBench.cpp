// The model's per-view work on a large budget: ten years of 400 flows a month (expenses, incomes
// and transfers mixed) across 20 accounts and 40 categories. Each figure is one full refresh of
// what a page asks for.
#include <benchmark/benchmark.h>

#include "BudgetGenerator.h"
#include "model/QVSummary.h"

namespace {

TQVEnvironment& Budget() {
    static const TBenchFolders folders;
    if (Environment == nullptr) {
        Environment = new TQVEnvironment();
        BudgetGenerator::Fill(*Environment);
    }
    return *Environment;
}

void BM_RebuildAllFlows(benchmark::State& state) {
    TQVEnvironment& env = Budget();
    for (auto _ : state) {
        env.RebuildAllFlows();
        benchmark::DoNotOptimize(env.AllFlows().Count());
    }
    state.counters["flows"] = env.AllFlows().Count();
}
BENCHMARK(BM_RebuildAllFlows)->Unit(benchmark::kMillisecond);

void BM_EveryAccountBalance(benchmark::State& state) {
    TQVEnvironment& env = Budget();
    for (auto _ : state) {
        for (int i = 0; i < env.SourceCount(); ++i)
            benchmark::DoNotOptimize(env.GetSourceBalance(env.GetSource(i)));
    }
}
BENCHMARK(BM_EveryAccountBalance)->Unit(benchmark::kMillisecond);

// Everything the summary page asks for, in its order.
void BM_SummaryPage(benchmark::State& state) {
    TQVEnvironment& env = Budget();
    for (auto _ : state) {
        TQVSummary summary(env);
        const TDateTime now = QVUtils::Now();
        const TDateTime previous = QVUtils::PrevMonthSameDay();
        const int year = QVUtils::CurrentYear();
        benchmark::DoNotOptimize(summary.GetMonthIncomes(now));
        benchmark::DoNotOptimize(summary.GetMonthExpenses(now));
        benchmark::DoNotOptimize(summary.GetMonthIncomes(previous));
        benchmark::DoNotOptimize(summary.GetMonthExpenses(previous));
        benchmark::DoNotOptimize(summary.GetYearIncomes(year));
        benchmark::DoNotOptimize(summary.GetYearExpenses(year));
        benchmark::DoNotOptimize(summary.GetTotalIncomes());
        benchmark::DoNotOptimize(summary.GetTotalExpenses());
        benchmark::DoNotOptimize(summary.GetTotalBalance());
        benchmark::DoNotOptimize(summary.GetTotalDebts());
        benchmark::DoNotOptimize(summary.GetTotalCredits());
    }
}
BENCHMARK(BM_SummaryPage)->Unit(benchmark::kMillisecond);

} // namespace
