#include "model/QVSummary.h"

#include <unordered_map>
#include <vector>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"

namespace {

// Every account's incomes and expenses, gathered in one pass over the flows in the order that
// TQVEnvironment::GetSourceBalance visits them, so each account's sums come out the same to the
// last bit; a flow of an account that is not in the list counts nowhere.
class TBalances {
public:
    explicit TBalances(const TQVEnvironment& environment)
        : FInOut(static_cast<std::size_t>(environment.SourceCount())) {
        for (int i = 0; i < environment.SourceCount(); ++i)
            FIndex.emplace(environment.GetSource(i), static_cast<std::size_t>(i));
    }

    void Add(const TQVMoneyFlow& flow) {
        switch (flow.Kind()) {
        case TQVFlowKind::Expense:
            if (auto* inOut = Of(static_cast<const TQVExpenseItem&>(flow).Source))
                inOut->Out += flow.Sum;
            break;
        case TQVFlowKind::Income:
            if (auto* inOut = Of(static_cast<const TQVIncomeItem&>(flow).Source))
                inOut->In += flow.Sum;
            break;
        case TQVFlowKind::A2A: {
            const auto& transfer = static_cast<const TQVA2AItem&>(flow);
            if (auto* inOut = Of(transfer.Source))
                inOut->Out += flow.Sum;
            if (auto* inOut = Of(transfer.Destination))
                inOut->In += flow.Sum;
            break;
        }
        }
    }

    // The balances added up in the order of the accounts.
    long double Total() const {
        long double sum = 0.0L;
        for (const TInOut& inOut : FInOut)
            sum += inOut.In - inOut.Out;
        return sum;
    }

private:
    struct TInOut {
        long double In = 0.0L;
        long double Out = 0.0L;
    };

    TInOut* Of(const TQVSource* source) {
        const auto it = FIndex.find(source);
        return it != FIndex.end() ? &FInOut[it->second] : nullptr;
    }

    std::vector<TInOut> FInOut;
    std::unordered_map<const TQVSource*, std::size_t> FIndex;
};

// Adds the flows of `kind` in `month` to `sum`.
void AddKind(long double& sum, const TQVMonth& month, TQVFlowKind kind) {
    for (const TQVMoneyFlow* flow : month.Flows()) {
        if (flow->Kind() == kind)
            sum += flow->Sum;
    }
}

long double SumOfKind(const TQVMonth& month, TQVFlowKind kind) {
    long double sum = 0.0L;
    AddKind(sum, month, kind);
    return sum;
}

} // namespace

long double TQVSummary::SumExpenses(const TQVMonth& month) const {
    return SumOfKind(month, TQVFlowKind::Expense);
}

long double TQVSummary::SumIncomes(const TQVMonth& month) const {
    return SumOfKind(month, TQVFlowKind::Income);
}

long double TQVSummary::GetMonthExpenses(TDateTime date) const {
    const int index = FEnvironment.FindMonth(date, false);
    return index < 0 ? 0.0L : SumExpenses(*FEnvironment.GetMonth(index));
}

long double TQVSummary::GetMonthIncomes(TDateTime date) const {
    const int index = FEnvironment.FindMonth(date, false);
    return index < 0 ? 0.0L : SumIncomes(*FEnvironment.GetMonth(index));
}

long double TQVSummary::GetYearExpenses(int year) const {
    long double sum = 0.0L;
    for (int i = 0; i < FEnvironment.MonthCount(); ++i) {
        const TQVMonth& month = *FEnvironment.GetMonth(i);
        if (month.GetYear() == year)
            sum += SumExpenses(month);
    }
    return sum;
}

long double TQVSummary::GetYearIncomes(int year) const {
    long double sum = 0.0L;
    for (int i = 0; i < FEnvironment.MonthCount(); ++i) {
        const TQVMonth& month = *FEnvironment.GetMonth(i);
        if (month.GetYear() == year)
            sum += SumIncomes(month);
    }
    return sum;
}

long double TQVSummary::GetTotalExpenses() const {
    long double sum = 0.0L;
    // One running sum over every flow, not a sum of the months' sums.
    for (int i = 0; i < FEnvironment.MonthCount(); ++i)
        AddKind(sum, *FEnvironment.GetMonth(i), TQVFlowKind::Expense);
    return sum;
}

long double TQVSummary::GetTotalIncomes() const {
    long double sum = 0.0L;
    for (int i = 0; i < FEnvironment.MonthCount(); ++i)
        AddKind(sum, *FEnvironment.GetMonth(i), TQVFlowKind::Income);
    return sum;
}

long double TQVSummary::GetTotalDebts() const {
    long double sum = 0.0L;
    for (int i = 0; i < FEnvironment.DebtCount(); ++i)
        sum += FEnvironment.GetDebt(i)->Sum;
    return sum;
}

long double TQVSummary::GetTotalCredits() const {
    long double sum = 0.0L;
    for (int i = 0; i < FEnvironment.CreditCount(); ++i)
        sum += FEnvironment.GetCredit(i)->Sum;
    return sum;
}

long double TQVSummary::GetTotalBalance() const {
    return GetTotals().Balance;
}

TQVSummary::TTotals TQVSummary::GetTotals() const {
    TTotals totals;
    TBalances balances(FEnvironment);
    for (int i = 0; i < FEnvironment.MonthCount(); ++i) {
        for (const TQVMoneyFlow* flow : FEnvironment.GetMonth(i)->Flows()) {
            if (flow->Kind() == TQVFlowKind::Expense)
                totals.Expenses += flow->Sum;
            else if (flow->Kind() == TQVFlowKind::Income)
                totals.Incomes += flow->Sum;
            balances.Add(*flow);
        }
    }
    totals.Balance = balances.Total();
    return totals;
}
