// The list of all months, the summary's totals and the removal of many flows over budgets of
// every shape, each against the plain computation that states what it must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ModelTestSupport.h"
#include "model/QVSummary.h"

namespace {

constexpr double Second = 1.0 / 86400.0;

class BudgetViewsTest : public ModelTest {
protected:
    // `count` flows of every kind in `month`, at whole seconds inside it (two may share one),
    // over the accounts given (null among them: a flow without account); the month is sorted.
    void Fill(TQVMonth& month, int count, const std::vector<TQVSource*>& accounts) {
        const QVUtils::TDateParts parts = QVUtils::DecodeDate(month.Date);
        const int seconds = QVUtils::DaysInMonth(parts.Year, parts.Month) * 86400;
        for (int i = 0; i < count; ++i) {
            const TDateTime date = month.Date + Pick(seconds) * Second;
            // Cents that no binary fraction holds, beside amounts some thousand million times
            // larger: the order of the additions shows in the last bits.
            const long double sum = Pick(500000) / 100.0L * (Pick(4) == 0 ? 1e9L : 1.0L);
            TQVSource* source = accounts[static_cast<std::size_t>(Pick(int(accounts.size())))];
            switch (Pick(3)) {
            case 0:
                Add<TQVExpenseItem>(month, sum, date, source)->IsAdjustment = Pick(9) == 0;
                break;
            case 1:
                Add<TQVIncomeItem>(month, sum, date, source);
                break;
            default:
                Add<TQVA2AItem>(month, sum, date, source)->Destination =
                    accounts[static_cast<std::size_t>(Pick(int(accounts.size())))];
                break;
            }
        }
        month.Sort();
    }
    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(Random); }

    std::mt19937 Random{17};
};

// What the list of all months is: every month's flows, from the last month of the list to the
// first, each in its month's order, then sorted newest first by a stable sort.
std::vector<TQVMoneyFlow*> AllFlowsByDefinition(const TQVEnvironment& env) {
    std::vector<TQVMoneyFlow*> flows;
    for (int i = env.MonthCount() - 1; i >= 0; --i) {
        const auto& month = env.GetMonth(i)->Flows();
        flows.insert(flows.end(), month.begin(), month.end());
    }
    std::stable_sort(flows.begin(), flows.end(), [](const auto* a, const auto* b) {
        return TQVMonth::CompareFlows(*a, *b) < 0;
    });
    return flows;
}

struct TShape {
    const char* name;
    // Shapes the budget that the test has filled with 24 months, newest first.
    std::function<void(TQVEnvironment&)> change;
    bool oldestFirst = false;
};

TEST_F(BudgetViewsTest, TheListOfAllMonthsIsEveryFlowNewestFirst) {
    const auto month = [](TQVEnvironment& env, int index) { return env.GetMonth(index); };
    const auto newMonth = [](TQVEnvironment& env, int year, int number) {
        const int index = env.AddMonth();
        env.GetMonth(index)->Date = QVUtils::EncodeDate(year, number, 1);
        return env.GetMonth(index);
    };
    const TShape shapes[] = {
        {"months newest first, as opened", [](TQVEnvironment&) {}},
        {"months oldest first", [](TQVEnvironment&) {}, true},
        {"a month made later stands at the end",
         [&](TQVEnvironment& env) {
             TQVMonth* late = newMonth(env, 2030, 6);
             Add<TQVIncomeItem>(*late, 5, late->Date + 2);
             Add<TQVIncomeItem>(*late, 6, late->Date + 1);
             late->Sort();
         }},
        {"empty months among them",
         [&](TQVEnvironment& env) {
             newMonth(env, 1999, 1);
             month(env, 3)->Clear();
             month(env, 4)->Clear();
         }},
        {"a flow whose date changed without a sort",
         [&](TQVEnvironment& env) { month(env, 5)->GetFlow(3)->Date = month(env, 5)->Date; }},
        {"a flow dated in another month",
         [&](TQVEnvironment& env) {
             month(env, 7)->GetFlow(0)->Date = month(env, 2)->Date + 3.5;
             month(env, 7)->Sort();
         }},
        {"two months' flows within half a second of each other",
         [&](TQVEnvironment& env) {
             TQVMonth& newer = *month(env, 9);
             TQVMonth& older = *month(env, 10);
             Add<TQVExpenseItem>(older, 1, newer.Date - 0.2 * Second);
             Add<TQVExpenseItem>(newer, 2, newer.Date + 0.1 * Second);
             older.Sort();
             newer.Sort();
         }},
        {"two months of the same calendar month",
         [&](TQVEnvironment& env) {
             TQVMonth* twin = newMonth(env, 2001, 1);
             TQVMonth* other = newMonth(env, 2001, 1);
             Add<TQVExpenseItem>(*twin, 1, twin->Date + 4);
             Add<TQVExpenseItem>(*other, 2, twin->Date + 4);
             Add<TQVExpenseItem>(*other, 3, twin->Date + 2);
             other->Sort();
         }},
    };
    for (const TShape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        Env().Reset();
        const std::vector<TQVSource*> accounts{NewSource(u"Cash"), nullptr};
        for (int i = 0; i < 24; ++i) {
            const int back = shape.oldestFirst ? 23 - i : i;
            Fill(*NewMonth(2009 - back / 12, 12 - back % 12), 40, accounts);
        }
        shape.change(Env());
        Env().RebuildAllFlows();
        EXPECT_EQ(Env().AllFlows().Flows(), AllFlowsByDefinition(Env()));
    }
}

TEST_F(BudgetViewsTest, TheSummarysTotalsAreTheSumsOfEveryFlowToTheLastBit) {
    for (const int months : {0, 1, 30}) {
        SCOPED_TRACE(months);
        Env().Reset();
        std::vector<TQVSource*> accounts{nullptr};
        for (int i = 0; i < 7; ++i)
            accounts.push_back(
                NewSource(u"Account " + std::u16string(1, static_cast<char16_t>(u'A' + i))));
        for (int back = 0; back < months; ++back)
            Fill(*NewMonth(2009 - back / 12, 12 - back % 12), 300, accounts);
        // A debt and a loan on an account count in no total and in no balance.
        Env().GetDebt(Env().AddDebt())->Source = accounts[1];
        Env().GetCredit(Env().AddCredit())->Source = accounts[2];
        Env().GetDebt(0)->Sum = Env().GetCredit(0)->Sum = 1000;

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

TEST_F(BudgetViewsTest, DeletingFlowsFreesExactlyThoseFromTheirMonthsAndTheList) {
    const struct {
        const char* name;
        // Whether the flow at this place of the list of all months goes.
        std::function<bool(int row, const TQVMoneyFlow&)> doomed;
    } selections[] = {
        {"nothing", [](int, const TQVMoneyFlow&) { return false; }},
        {"one", [](int row, const TQVMoneyFlow&) { return row == 17; }},
        {"every third", [](int row, const TQVMoneyFlow&) { return row % 3 == 0; }},
        {"a whole month",
         [](int, const TQVMoneyFlow& flow) { return QVUtils::DecodeDate(flow.Date).Month == 5; }},
        {"everything", [](int, const TQVMoneyFlow&) { return true; }},
    };
    for (const auto& selection : selections) {
        SCOPED_TRACE(selection.name);
        Env().Reset();
        const std::vector<TQVSource*> accounts{NewSource(u"Cash")};
        for (int number = 1; number <= 12; ++number)
            Fill(*NewMonth(2009, number), 25, accounts);
        Env().RebuildAllFlows();
        std::vector<TQVMoneyFlow*> doomed;
        std::vector<TQVMoneyFlow*> keptInList;
        for (int row = 0; row < Env().AllFlows().Count(); ++row) {
            TQVMoneyFlow* flow = Env().AllFlows().GetFlow(row);
            (selection.doomed(row, *flow) ? doomed : keptInList).push_back(flow);
        }
        std::vector<std::vector<TQVMoneyFlow*>> keptInMonths;
        for (int i = 0; i < Env().MonthCount(); ++i) {
            std::vector<TQVMoneyFlow*> kept;
            for (TQVMoneyFlow* flow : Env().GetMonth(i)->Flows()) {
                if (std::find(doomed.begin(), doomed.end(), flow) == doomed.end())
                    kept.push_back(flow);
            }
            keptInMonths.push_back(kept);
        }
        // A debt is no month's: it is neither freed nor lost (a sanitizer build sees a free).
        TQVIncomeItem* debt = Env().GetDebt(Env().AddDebt());
        doomed.push_back(debt);
        std::shuffle(doomed.begin(), doomed.end(), Random);
        doomed.push_back(doomed.empty() ? debt : doomed.front()); // named twice

        Env().DeleteFlows(doomed);
        EXPECT_EQ(Env().AllFlows().Flows(), keptInList);
        for (int i = 0; i < Env().MonthCount(); ++i)
            EXPECT_EQ(Env().GetMonth(i)->Flows(), keptInMonths[static_cast<std::size_t>(i)]);
        ASSERT_EQ(Env().DebtCount(), 1);
        EXPECT_EQ(Env().GetDebt(0), debt);
        debt->Sum = 1; // still alive
    }
}

} // namespace
