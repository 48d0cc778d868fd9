#include <gtest/gtest.h>

#include <tuple>

#include "ModelTestSupport.h"
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
    EXPECT_TRUE(bare.AllowIncome && bare.AllowExpense && !bare.IsDefault);
    // A present Boolean is true only as the single byte 0x01, never the default.
    EXPECT_FALSE(LoadAccount(u"ae", "").AllowExpense);
    EXPECT_FALSE(LoadAccount(u"ai", std::string("\x01\x00", 2)).AllowIncome);
    // Names compare case-blind; a number is all digits or nothing.
    const std::tuple<const char16_t*, const char*, int> icons[] = {
        {u"i", "-1", -1}, {u"I", "12", 12}, {u"i", "x1", 0},
        {u"i", "", 0},    {u"i", "1x", 0},  {u"i", "99999999999", 0}};
    for (const auto& [name, text, icon] : icons)
        EXPECT_EQ(LoadAccount(name, text).Icon, icon) << text;
    EXPECT_EQ(LoadAccount(u"name", std::string("A\0B", 3)).Name, u"A"); // odd byte dropped
    // "d" is the default flag of an account (and the description of a category).
    EXPECT_FALSE(LoadAccount(u"d", QVBase::WideToBytes(u"Food")).IsDefault);
    EXPECT_TRUE(LoadAccount(u"d", "\x01").IsDefault);
    // A type in other case is refused and changes nothing.
    TQVCFFolder wrong;
    PutFile(wrong, u"type", "SourceDecl");
    PutFile(wrong, u"name", QVBase::WideToBytes(u"X"));
    TQVSource source;
    source.Name = u"kept";
    EXPECT_EQ(Outcome<EQVException>([&] { source.LoadFromFolder(wrong); }), "Invalid object");
    EXPECT_EQ(source.Name, u"kept");
}

TEST_F(FlowTest, MissingAndMalformedItemsAndReferences) {
    TQVCFFolder parent;
    TQVIncomeItem income;
    const TDateTime before = QVUtils::Now();
    income.LoadFromFolder(TypedFolder(parent, u"bare", "income"));
    EXPECT_GE(income.Date, before - 1.0 / 86400.0); // no "date": now
    EXPECT_EQ(Env().SourceCount(), 0);              // no "sid": no account
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
    // A category of another kind, or none by that id, is no category; none is made up.
    TQVLocation* food = NewLocation(u"Food");
    PutFile(TypedFolder(parent, u"1", "income"), u"lid", food->Id);
    PutFile(TypedFolder(parent, u"2", "expense"), u"lid", "NOSUCHCATEGORY");
    income.LoadFromFolder(*static_cast<TQVCFFolder*>(parent.FindItem(u"1", false)));
    expense.LoadFromFolder(*static_cast<TQVCFFolder*>(parent.FindItem(u"2", false)));
    EXPECT_EQ(income.Location, nullptr);
    EXPECT_EQ(expense.Location, nullptr);
    EXPECT_EQ(Env().ExpenseLocationCount() + Env().IncomeLocationCount(), 1);
}
