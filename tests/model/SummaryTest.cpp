#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/QVSummary.h"

using SummaryTest = ModelTest;

TEST_F(SummaryTest, TransfersNeverCountAndDebtsOnlyInTheirOwnTotals) {
    TQVSummary summary(Env());
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
    EXPECT_EQ(summary.GetMonthIncomes(QVUtils::EncodeDate(2009, 3, 31) + 0.9), 160.0L);
    EXPECT_EQ(summary.GetMonthExpenses(QVUtils::EncodeDate(2009, 3, 2)), 40.0L);
    EXPECT_EQ(summary.GetMonthExpenses(QVUtils::EncodeDate(2009, 4, 1)), 0.0L);
    EXPECT_EQ(summary.GetYearIncomes(2009), 160.0L);
    EXPECT_EQ(summary.GetYearExpenses(2008), 0.0L);
    EXPECT_EQ(Env().MonthCount(), 1); // asking creates no month
    EXPECT_EQ(summary.GetTotalIncomes(), 160.0L);
    EXPECT_EQ(summary.GetTotalExpenses(), 40.0L);
    EXPECT_EQ(summary.GetTotalDebts(), 75.0L);
    EXPECT_EQ(summary.GetTotalCredits(), 30.0L);
    EXPECT_EQ(summary.GetTotalBalance(), 120.0L); // cash -440, bank 560
}
