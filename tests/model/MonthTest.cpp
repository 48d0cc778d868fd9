#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "ModelTestSupport.h"
#include "storage/QVException.h"
#include "support/Outcome.h"

using MonthTest = ModelTest;

TEST_F(MonthTest, SortsNewestFirstToTheNearestSecond) {
    constexpr double Second = 1.0 / 86400.0;
    TQVMonth month;
    const TDateTime base = QVUtils::EncodeDate(2009, 3, 10) + 0.5;
    TQVMoneyFlow* a = Add<TQVExpenseItem>(month, 1, base);
    TQVMoneyFlow* b = Add<TQVIncomeItem>(month, 2, base + 0.4 * Second); // equal to a
    TQVMoneyFlow* c = Add<TQVExpenseItem>(month, 3, base + Second);
    TQVMoneyFlow* old = Add<TQVA2AItem>(month, 4, base - 10.0);
    month.Sort();
    EXPECT_EQ(month.Flows(), (std::vector<TQVMoneyFlow*>{c, a, b, old}));
    EXPECT_EQ(TQVMonth::CompareFlows(*a, *b), 0);
    // Differences far beyond 32 bits of seconds keep their sign.
    TQVMonth wide;
    TQVMoneyFlow* early = Add<TQVExpenseItem>(wide, 1, 0.0);
    TQVMoneyFlow* distant = Add<TQVExpenseItem>(wide, 1, 2900000.0);
    TQVMoneyFlow* late = Add<TQVExpenseItem>(wide, 1, 30000.0);
    wide.Sort();
    EXPECT_EQ(wide.Flows(), (std::vector<TQVMoneyFlow*>{distant, late, early}));
}

TEST_F(MonthTest, NonOwningViewTakesPointersOwningMonthsCopies) {
    TQVMonth owner;
    TQVExpenseItem* flow = Add<TQVExpenseItem>(owner, 5, 1.0);
    TQVMonth view(false);
    EXPECT_EQ(Outcome<EQVException>([&] { view.AddExpense(); }),
              "Cannot add new object to the container that does not own objects");
    EXPECT_EQ(view.AddFlow(flow), 0);
    EXPECT_EQ(view.GetFlow(0), flow);
    view.Clear(); // frees nothing (ASan sees a double free otherwise)
    TQVMonth copy;
    copy.AddFlow(flow);
    EXPECT_NE(copy.GetFlow(0), flow);
    EXPECT_EQ(copy.GetFlow(0)->Kind(), TQVFlowKind::Expense);
    EXPECT_EQ(copy.GetFlow(0)->Sum, 5.0L);
}

TEST_F(MonthTest, LoadSkipsForeignChildrenDropsBrokenFlowsAloneAndKeepsTheWrittenOrder) {
    TQVCFFolder folder;
    PutFile(folder, u"type", "month");
    TQVCFFolder& flows = folder.NewFolder(u"flows");
    TypedFolder(flows, u"0", "Expense");
    flows.NewFolder(u"1");
    PutFile(flows, u"2", "not a folder");
    PutFile(TypedFolder(flows, u"3", "income"), u"sum", "12,50");
    PutFile(TypedFolder(flows, u"4", "a2a"), u"sum", "7.00");
    PutFile(TypedFolder(flows, u"5", "expense"), u"date", QVUtils::DoubleToBytes(1.0));
    // Dates that no order can place.
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [name, date] : {std::pair{u"6", std::nan("")}, {u"7", inf}, {u"8", -inf}})
        PutFile(TypedFolder(flows, name, "expense"), u"date", QVUtils::DoubleToBytes(date));
    // Flows of one date keep the order they were written in, past ten as well.
    for (const char16_t* name : {u"9", u"10", u"11"}) {
        TQVCFFolder& flow = TypedFolder(flows, name, "income");
        PutFile(flow, u"date", QVUtils::DoubleToBytes(1.0));
        PutFile(flow, u"sum", QVUtils::WideToAnsi(name));
    }
    TQVMonth month;
    month.LoadFromFolder(folder);
    ASSERT_EQ(month.Count(), 5);
    EXPECT_EQ(month.GetFlow(0)->Kind(), TQVFlowKind::A2A); // dated now, so first
    EXPECT_EQ(month.GetFlow(0)->Sum, 7.0L);
    EXPECT_EQ(month.GetFlow(1)->Kind(), TQVFlowKind::Expense);
    EXPECT_EQ((std::vector<long double>{month.GetFlow(2)->Sum, month.GetFlow(3)->Sum,
                                        month.GetFlow(4)->Sum}),
              (std::vector<long double>{9, 10, 11}));
}
