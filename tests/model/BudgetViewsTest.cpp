// The list of all months and the summary's totals over budgets of several shapes, each against
// the plain computation that states what it must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <vector>

#include "ModelTestSupport.h"
#include "model/QVSummary.h"

namespace {

constexpr double Second = 1.0 / 86400.0;

class BudgetViewsTest : public ModelTest {
protected:
    // Months of 2008 and 2009, newest first (or oldest first), each with `count` flows of every
    // kind at whole seconds, over the accounts given (null: no account), and sorted.
    void FillBudget(int count, const std::vector<TQVSource*>& accounts, bool oldestFirst = false) {
        for (int i = 0; i < 24; ++i) {
            const int back = oldestFirst ? 23 - i : i;
            TQVMonth& month = *NewMonth(2009 - back / 12, 12 - back % 12);
            for (int n = 0; n < count; ++n) {
                const TDateTime date = month.Date + Pick(28 * 86400) * Second;
                // Cents beside amounts a thousand million times larger: the order of the
                // additions shows in the last bits.
                const long double sum = Pick(500000) / 100.0L * (Pick(4) == 0 ? 1e9L : 1.0L);
                TQVSource* source = accounts[static_cast<std::size_t>(Pick(int(accounts.size())))];
                const int kind = Pick(3);
                if (kind == 0)
                    Add<TQVExpenseItem>(month, sum, date, source);
                else if (kind == 1)
                    Add<TQVIncomeItem>(month, sum, date, source);
                else
                    Add<TQVA2AItem>(month, sum, date, source)->Destination = accounts.back();
            }
            month.Sort();
        }
    }
    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(Random); }

    std::mt19937 Random{17};
};

TEST_F(BudgetViewsTest, TheListOfAllMonthsIsEveryFlowNewestFirst) {
    const auto month = [](int index) { return Env().GetMonth(index); };
    const struct {
        const char* name;
        bool oldestFirst;
        std::function<void()> change;
    } shapes[] = {
        {"months newest first, as opened", false, [] {}},
        {"months oldest first, one empty", true, [&] { month(3)->Clear(); }},
        {"a flow whose date changed without a sort", false,
         [&] { month(5)->GetFlow(3)->Date = month(5)->Date; }},
        {"a flow dated in another month", false,
         [&] {
             month(7)->GetFlow(0)->Date = month(2)->Date + 3.5;
             month(7)->Sort();
         }},
        {"two months' flows within half a second", false,
         [&] {
             Add<TQVExpenseItem>(*month(10), 1, month(9)->Date - 0.2 * Second);
             month(10)->Sort();
             Add<TQVExpenseItem>(*month(9), 2, month(9)->Date + 0.1 * Second);
             month(9)->Sort();
         }},
        {"two months of one calendar month", false,
         [&] {
             TQVMonth& twin = *Env().GetMonth(Env().AddMonth());
             twin.Date = month(4)->Date;
             Add<TQVExpenseItem>(twin, 3, twin.Date + 2);
         }},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        Env().Reset();
        FillBudget(40, {NewSource(u"Cash"), nullptr}, shape.oldestFirst);
        shape.change();
        // By definition: every month's flows from the last month of the list to the first, then
        // a stable sort newest first.
        std::vector<TQVMoneyFlow*> expected;
        for (int i = Env().MonthCount() - 1; i >= 0; --i)
            expected.insert(expected.end(), month(i)->Flows().begin(), month(i)->Flows().end());
        std::stable_sort(expected.begin(), expected.end(), [](const auto* a, const auto* b) {
            return TQVMonth::CompareFlows(*a, *b) < 0;
        });
        Env().RebuildAllFlows();
        EXPECT_EQ(Env().AllFlows().Flows(), expected);
    }
}

TEST_F(BudgetViewsTest, TheSummarysTotalsAreTheSumsOfEveryFlowToTheLastBit) {
    for (const int count : {0, 300}) {
        SCOPED_TRACE(count);
        Env().Reset();
        std::vector<TQVSource*> accounts{nullptr};
        for (const char16_t* name : {u"A", u"B", u"C", u"D", u"E", u"F"})
            accounts.push_back(NewSource(name));
        FillBudget(count, accounts);
        Env().GetDebt(Env().AddDebt())->Source = accounts[1]; // counts in no balance
        long double balance = 0.0L;
        for (int i = 0; i < Env().SourceCount(); ++i)
            balance += Env().GetSourceBalance(Env().GetSource(i));
        const TQVSummary summary(Env());
        const TQVSummary::TTotals totals = summary.GetTotals();
        EXPECT_EQ(totals.Incomes, summary.GetTotalIncomes());
        EXPECT_EQ(totals.Expenses, summary.GetTotalExpenses());
        EXPECT_EQ(totals.Balance, balance);
        EXPECT_EQ(summary.GetTotalBalance(), balance);
    }
}

} // namespace
