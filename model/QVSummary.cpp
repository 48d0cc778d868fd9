#include "model/QVSummary.h"

#include "model/QVEnvironment.h"

namespace {

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
    long double sum = 0.0L;
    for (int i = 0; i < FEnvironment.SourceCount(); ++i)
        sum += FEnvironment.GetSourceBalance(FEnvironment.GetSource(i));
    return sum;
}
