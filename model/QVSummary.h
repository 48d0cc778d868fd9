#pragma once

#include "storage/QVUtils.h"

class TQVEnvironment;
class TQVMonth;

// The totals of the summary page, computed afresh on every call from the environment's months,
// debts, loans and accounts. Transfers never count as incomes or expenses; debts and loans count
// only in their own totals. Nothing is changed.
class TQVSummary {
public:
    explicit TQVSummary(TQVEnvironment& environment) : FEnvironment(environment) {}

    long double SumExpenses(const TQVMonth& month) const;
    long double SumIncomes(const TQVMonth& month) const;

    // Of the month of `date` (by year and month); 0 when the budget has no such month.
    long double GetMonthExpenses(TDateTime date) const;
    long double GetMonthIncomes(TDateTime date) const;

    // Of every month dated in `year`.
    long double GetYearExpenses(int year) const;
    long double GetYearIncomes(int year) const;

    // Of every month.
    long double GetTotalExpenses() const;
    long double GetTotalIncomes() const;

    long double GetTotalDebts() const;
    long double GetTotalCredits() const;

    // The balances of all accounts added up.
    long double GetTotalBalance() const;

    // GetTotalIncomes, GetTotalExpenses and GetTotalBalance, to the last bit, in one pass over
    // the flows.
    struct TTotals {
        long double Incomes = 0.0L;
        long double Expenses = 0.0L;
        long double Balance = 0.0L;
    };
    TTotals GetTotals() const;

private:
    // Not changed: only FindMonth without creation is asked of it.
    TQVEnvironment& FEnvironment;
};
