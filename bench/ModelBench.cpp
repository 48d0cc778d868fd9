// The model's per-view work on a large budget: ten years of 400 flows a month (expenses, incomes
// and transfers mixed) across 20 accounts and 40 categories. Each figure is one full refresh of
// what a page asks for.
#include <benchmark/benchmark.h>

#include <random>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"
#include "model/QVSummary.h"
#include "storage/QVBase.h"

namespace {

constexpr int Years = 10;
constexpr int FlowsPerMonth = 400;
constexpr int AccountCount = 20;
constexpr int CategoryCount = 40; // half for expenses, half for incomes

// The ten years end with the current month, so the summary's "this month" and "this year" hit.
TQVEnvironment& Budget() {
    if (Environment != nullptr)
        return *Environment;
    Environment = new TQVEnvironment();
    TQVEnvironment& env = *Environment;
    std::mt19937 random(20090315);
    for (int i = 0; i < AccountCount; ++i) {
        TQVSource* source = env.GetSource(env.AddSource());
        source->Name = u"Account";
        source->Id = QVBase::CreateGUIDString();
    }
    for (int i = 0; i < CategoryCount / 2; ++i) {
        env.GetExpenseLocation(env.AddExpenseLocation())->Id = QVBase::CreateGUIDString();
        env.GetIncomeLocation(env.AddIncomeLocation())->Id = QVBase::CreateGUIDString();
    }
    const auto pick = [&random](int count) {
        return std::uniform_int_distribution<int>(0, count - 1)(random);
    };
    std::uniform_real_distribution<double> amount(0.01, 5000.0);

    const QVUtils::TDateParts now = QVUtils::DecodeDate(QVUtils::Now());
    for (int back = 0; back < Years * 12; ++back) {
        const int serial = now.Year * 12 + (now.Month - 1) - back;
        const int year = serial / 12;
        const int month = serial % 12 + 1;
        TQVMonth& m = *env.GetMonth(env.FindMonth(QVUtils::EncodeDate(year, month, 1), true));
        const double days = QVUtils::DaysInMonth(year, month);
        for (int i = 0; i < FlowsPerMonth; ++i) {
            TQVMoneyFlow* flow;
            const int kind = pick(20);
            if (kind < 12) {
                auto* expense = static_cast<TQVExpenseItem*>(m.GetFlow(m.AddExpense()));
                expense->Source = env.GetSource(pick(AccountCount));
                expense->Location = env.GetExpenseLocation(pick(CategoryCount / 2));
                flow = expense;
            } else if (kind < 17) {
                auto* income = static_cast<TQVIncomeItem*>(m.GetFlow(m.AddIncome()));
                income->Source = env.GetSource(pick(AccountCount));
                income->Location = env.GetIncomeLocation(pick(CategoryCount / 2));
                flow = income;
            } else {
                auto* transfer = static_cast<TQVA2AItem*>(m.GetFlow(m.AddA2A()));
                transfer->Source = env.GetSource(pick(AccountCount));
                transfer->Destination = env.GetSource(pick(AccountCount));
                flow = transfer;
            }
            flow->Sum = static_cast<long double>(amount(random));
            flow->Date = m.Date + std::uniform_real_distribution<double>(0.0, days)(random);
        }
        m.Sort();
    }
    env.EnsureCurrentMonth();
    for (int i = 0; i < 50; ++i) {
        env.GetDebt(env.AddDebt())->Sum = static_cast<long double>(amount(random));
        env.GetCredit(env.AddCredit())->Sum = static_cast<long double>(amount(random));
    }
    return env;
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
