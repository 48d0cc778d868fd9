#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/QVMoneyText.h"

using FlowTest = ModelTest;

TEST_F(FlowTest, WritesReferencesAsIdsAndNoneAsEmptyData) {
    TQVSource* cash = NewSource(u"Cash");
    TQVLocation* food = NewLocation(u"Food");
    TQVMonth month;
    TQVExpenseItem* expense = Add<TQVExpenseItem>(month, 12.5L, 40000.25, cash);
    expense->Location = food;
    TQVCFFolder folder;
    expense->SaveToFolder(folder);
    EXPECT_EQ(FileData(folder, u"type"), "expense");
    EXPECT_EQ(FileData(folder, u"sum"), "12.50");
    EXPECT_EQ(FileData(folder, u"sid"), cash->Id);
    EXPECT_EQ(FileData(folder, u"lid"), food->Id);

    TQVCFFolder transfer;
    Add<TQVA2AItem>(month, 1, 1.0)->SaveToFolder(transfer);
    EXPECT_EQ(FileData(transfer, u"sid"), "");
    EXPECT_EQ(FileData(transfer, u"did"), "");
}

TEST_F(FlowTest, MissingAndMalformedItems) {
    TQVCFFolder parent;
    TQVIncomeItem income;
    const TDateTime before = QVUtils::Now();
    income.LoadFromFolder(TypedFolder(parent, u"bare", "income"));
    EXPECT_EQ(income.Sum, 0.0L);
    EXPECT_GE(income.Date, before - 1.0 / 86400.0); // no "date": now
    EXPECT_EQ(income.Source, nullptr);
    EXPECT_EQ(Env().SourceCount(), 0); // no "sid": no account

    TQVCFFolder& shortDate = TypedFolder(parent, u"short", "expense");
    PutFile(shortDate, u"date", "1234");
    TQVExpenseItem expense;
    expense.LoadFromFolder(shortDate);
    EXPECT_EQ(expense.Date, 0.0);

    for (const char* sum : {"12,50", ""}) {
        TQVCFFolder& bad = TypedFolder(parent, u"bad", "expense");
        PutFile(bad, u"sum", sum);
        PutFile(bad, u"sid", "NOSUCHACCOUNT");
        EXPECT_THROW(expense.LoadFromFolder(bad), EConvertError);
    }
    EXPECT_EQ(Env().SourceCount(), 0); // the sum fails before any account is made
}

TEST_F(FlowTest, UnknownAccountIdsShareOnePlaceholder) {
    TQVSource* cash = NewSource(u"Cash");
    TQVCFFolder parent;
    TQVCFFolder& first = TypedFolder(parent, u"1", "expense");
    PutFile(first, u"sid", "GONE");
    PutFile(first, u"lid", "NOSUCHCATEGORY");
    TQVCFFolder& second = TypedFolder(parent, u"2", "a2a");
    PutFile(second, u"sid", "GONE");
    PutFile(second, u"did", "GONE");
    TQVCFFolder& third = TypedFolder(parent, u"3", "income");
    PutFile(third, u"sid", "");
    TQVCFFolder& fourth = TypedFolder(parent, u"4", "a2a");
    PutFile(fourth, u"sid", "");
    PutFile(fourth, u"did", cash->Id);

    TQVExpenseItem a;
    TQVA2AItem b;
    TQVIncomeItem c;
    TQVA2AItem d;
    a.LoadFromFolder(first);
    b.LoadFromFolder(second);
    c.LoadFromFolder(third);
    d.LoadFromFolder(fourth);

    ASSERT_EQ(Env().SourceCount(), 3);
    TQVSource* gone = Env().GetSource(1);
    EXPECT_EQ(gone->Id, "GONE");
    EXPECT_EQ(gone->Name, u"Untitled");
    EXPECT_TRUE(gone->AllowIncome && gone->AllowExpense);
    EXPECT_EQ(a.Source, gone);
    EXPECT_EQ(b.Source, gone);
    EXPECT_EQ(b.Destination, gone);
    EXPECT_EQ(a.Location, nullptr); // categories are never made up
    EXPECT_EQ(Env().ExpenseLocationCount(), 0);
    EXPECT_EQ(Env().GetSource(2)->Id, "");
    EXPECT_EQ(c.Source, Env().GetSource(2));
    EXPECT_EQ(d.Source, Env().GetSource(2));
    EXPECT_EQ(d.Destination, cash);
}

TEST_F(FlowTest, AssignCopiesOnlyFromItsOwnKind) {
    TQVMonth month;
    TQVIncomeItem* from = Add<TQVIncomeItem>(month, 10.25L, 123.5, NewSource(u"Cash"));
    from->Location = NewLocation(u"Pay", true);
    from->PeerName = u"Boss";
    from->IsAdjustment = true;
    TQVIncomeItem to;
    to.Assign(*from);
    EXPECT_EQ(to.Sum, from->Sum);
    EXPECT_EQ(to.PeerName, from->PeerName);
    EXPECT_TRUE(to.IsAdjustment);
    EXPECT_EQ(to.Source, from->Source);
    EXPECT_EQ(to.Location, from->Location);

    TQVExpenseItem other;
    other.Sum = 1.0L;
    EXPECT_THROW(other.Assign(*from), EAssertionFailed);
    EXPECT_EQ(other.Sum, 1.0L);
    EXPECT_EQ(other.Source, nullptr);
}
