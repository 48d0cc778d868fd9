#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/QVExpense.h"
#include "model/QVMoneyText.h"
#include "storage/QVException.h"
#include "support/Outcome.h"

using FlowTest = ModelTest;

namespace {

// An account loaded from a folder holding "type" and, when `name` is given, one more item.
TQVSource LoadAccount(std::u16string_view name, std::string data) {
    TQVCFFolder folder;
    PutFile(folder, u"type", "sourcedecl");
    if (!name.empty())
        PutFile(folder, name, std::move(data));
    TQVSource source;
    source.Name = u"old";
    source.Icon = 7;
    source.IsDefault = true;
    source.LoadFromFolder(folder);
    return source;
}

} // namespace

TEST(AccountTest, MissingAndMalformedItemsGiveDefaults) {
    const TQVSource bare = LoadAccount(u"", "");
    EXPECT_EQ(bare.Name, u"");
    EXPECT_EQ(bare.Id, "");
    EXPECT_EQ(bare.Icon, 0);
    EXPECT_TRUE(bare.AllowIncome && bare.AllowExpense);
    EXPECT_FALSE(bare.IsDefault);
    // A present Boolean is true only as the single byte 0x01, never the default.
    EXPECT_FALSE(LoadAccount(u"ae", "").AllowExpense);
    EXPECT_FALSE(LoadAccount(u"ai", std::string("\x01\x00", 2)).AllowIncome);
    EXPECT_EQ(LoadAccount(u"i", "-1").Icon, -1);
    EXPECT_EQ(LoadAccount(u"I", "12").Icon, 12); // names compare case-blind
    for (const char* bad : {"x1", "", "1x", "99999999999"})
        EXPECT_EQ(LoadAccount(u"i", bad).Icon, 0) << bad;
    EXPECT_EQ(LoadAccount(u"name", std::string("A\0B", 3)).Name, u"A"); // odd byte dropped
    // "d" is the default flag of an account, and the description of a category.
    EXPECT_FALSE(LoadAccount(u"d", QVBase::WideToBytes(u"Food")).IsDefault);
    EXPECT_TRUE(LoadAccount(u"d", "\x01").IsDefault);
    TQVCFFolder folder;
    PutFile(folder, u"type", "locationdecl");
    PutFile(folder, u"d", QVBase::WideToBytes(u"Food"));
    TQVLocation category;
    category.LoadFromFolder(folder);
    EXPECT_EQ(category.Description, u"Food");
    EXPECT_TRUE(category.Enabled); // no "e"

    // A type in other case is refused and changes nothing.
    TQVCFFolder wrong;
    PutFile(wrong, u"type", "SourceDecl");
    PutFile(wrong, u"name", QVBase::WideToBytes(u"X"));
    TQVSource source;
    source.Name = u"kept";
    EXPECT_EQ(Outcome<EQVException>([&] { source.LoadFromFolder(wrong); }), "Invalid object");
    EXPECT_EQ(source.Name, u"kept");
    TQVCFFolder untyped;
    TQVExpense declaration;
    EXPECT_THROW(declaration.LoadFromFolder(untyped), EQVException);
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

TEST_F(FlowTest, ReferencesResolveThroughTheEnvironment) {
    TQVSource* cash = NewSource(u"Cash");
    TQVLocation* food = NewLocation(u"Food");
    TQVCFFolder parent;
    TQVCFFolder& first = TypedFolder(parent, u"1", "expense");
    PutFile(first, u"sid", cash->Id);
    PutFile(first, u"lid", "NOSUCHCATEGORY");
    TQVCFFolder& second = TypedFolder(parent, u"2", "income");
    PutFile(second, u"lid", food->Id); // an expense category is no income category
    TQVCFFolder& third = TypedFolder(parent, u"3", "a2a");
    PutFile(third, u"sid", "GONE");
    PutFile(third, u"did", "GONE");

    TQVExpenseItem a;
    TQVIncomeItem b;
    TQVA2AItem c;
    a.LoadFromFolder(first);
    b.LoadFromFolder(second);
    c.LoadFromFolder(third);
    EXPECT_EQ(a.Source, cash);
    EXPECT_EQ(a.Location, nullptr);
    EXPECT_EQ(b.Location, nullptr);
    ASSERT_EQ(Env().SourceCount(), 2);
    EXPECT_EQ(c.Source, Env().GetSource(1));
    EXPECT_EQ(c.Destination, Env().GetSource(1));
    EXPECT_EQ(Env().ExpenseLocationCount(), 1); // categories are never made up
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
