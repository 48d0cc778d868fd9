#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/QVSummary.h"

using SummaryTest = ModelTest;

TEST_F(SummaryTest, TransfersNeverCountAndDebtsOnlyInTheirOwnTotals) {
    TQVSummary summary(Env());
    EXPECT_EQ(summary.GetMonthIncomes(QVUtils::Now()) + summary.GetTotalBalance() +
                  summary.GetTotalIncomes() + summary.GetTotalDebts(),
              0.0L);

    TQVSource* cash = NewSource(u"Cash");
    TQVSource* bank = NewSource(u"Bank");
    TQVMonth* march = NewMonth(2009, 3);
    Add<TQVIncomeItem>(*march, 100, march->Date + 3, cash);
    Add<TQVExpenseItem>(*march, 40, march->Date + 4, cash);
    Add<TQVA2AItem>(*march, 500, march->Date + 5, cash)->Destination = bank;
    Add<TQVIncomeItem>(*march, 60, march->Date + 6, bank)->IsAdjustment = true;
    for (long double sum : {50.0L, 25.0L}) {
        TQVIncomeItem* debt = Env().GetDebt(Env().AddDebt());
        debt->Sum = sum;
        debt->Source = cash;
    }
    TQVExpenseItem* credit = Env().GetCredit(Env().AddCredit());
    credit->Sum = 30;
    credit->Source = bank;
    Env().RebuildAllFlows(); // never read by the sums, so nothing counts twice

    EXPECT_EQ(summary.SumIncomes(*march), 160.0L);
    EXPECT_EQ(summary.SumExpenses(*march), 40.0L);
    EXPECT_EQ(summary.GetMonthIncomes(QVUtils::EncodeDate(2009, 3, 31) + 0.9), 160.0L);
    EXPECT_EQ(summary.GetMonthExpenses(QVUtils::EncodeDate(2009, 3, 2)), 40.0L);
    EXPECT_EQ(summary.GetMonthExpenses(QVUtils::EncodeDate(2009, 4, 1)), 0.0L);
    EXPECT_EQ(Env().MonthCount(), 1); // asking creates no month
    EXPECT_EQ(summary.GetTotalIncomes(), 160.0L);
    EXPECT_EQ(summary.GetTotalExpenses(), 40.0L);
    EXPECT_EQ(summary.GetTotalDebts(), 75.0L);
    EXPECT_EQ(summary.GetTotalCredits(), 30.0L);
    EXPECT_EQ(summary.GetTotalBalance(), 120.0L); // cash -440, bank 560
}

TEST_F(SummaryTest, YearSumsTakeOnlyMonthsOfThatYear) {
    for (int year : {2008, 2009, 2010}) {
        for (int month : {1, 12}) {
            TQVMonth* m = NewMonth(year, month);
            Add<TQVExpenseItem>(*m, year - 2000, m->Date);
            Add<TQVIncomeItem>(*m, month, m->Date);
        }
    }
    TQVSummary summary(Env());
    EXPECT_EQ(summary.GetYearExpenses(2009), 18.0L);
    EXPECT_EQ(summary.GetYearIncomes(2009), 13.0L);
    EXPECT_EQ(summary.GetYearExpenses(2011), 0.0L);
    EXPECT_EQ(summary.GetTotalExpenses(), 54.0L);
    EXPECT_EQ(summary.GetTotalIncomes(), 39.0L);
}
