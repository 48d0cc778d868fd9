#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/QVExpense.h"
#include "model/QVReceipt.h"

namespace {

// Saves the list into a new folder `name` of `root` or, with `load`, loads every sub-folder of
// that folder into new members.
template <class T>
void Each(TQVEnvironment& env, TQVCFFolder& root, bool load, std::u16string_view name,
          int (TQVEnvironment::*count)() const, T* (TQVEnvironment::*get)(int) const,
          int (TQVEnvironment::*add)()) {
    if (load) {
        auto& folder = static_cast<TQVCFFolder&>(*root.FindItem(name, false));
        for (int i = 0; i < folder.Count(); ++i)
            (env.*get)((env.*add)())->LoadFromFolder(static_cast<TQVCFFolder&>(*folder.GetItem(i)));
        return;
    }
    TQVCFFolder& folder = root.NewFolder(name);
    for (int i = 0; i < (env.*count)(); ++i)
        (env.*get)(i)->SaveToFolder(
            folder.NewFolder(std::u16string(1, static_cast<char16_t>('a' + i))));
}

// Every list, accounts and categories before what refers to them. Loading resolves references
// through the global Environment, so `env` must be it.
void SaveOrLoad(TQVEnvironment& env, TQVCFFolder& root, bool load) {
    using E = TQVEnvironment;
    Each(env, root, load, u"s", &E::SourceCount, &E::GetSource, &E::AddSource);
    Each(env, root, load, u"l", &E::ExpenseLocationCount, &E::GetExpenseLocation,
         &E::AddExpenseLocation);
    Each(env, root, load, u"il", &E::IncomeLocationCount, &E::GetIncomeLocation,
         &E::AddIncomeLocation);
    Each(env, root, load, u"e", &E::ExpenseCount, &E::GetExpense, &E::AddExpense);
    Each(env, root, load, u"r", &E::IncomeCount, &E::GetIncome, &E::AddIncome);
    Each(env, root, load, u"ds", &E::DsLocationCount, &E::GetDsLocation, &E::AddDsLocation);
    Each(env, root, load, u"m", &E::MonthCount, &E::GetMonth, &E::AddMonth);
    Each(env, root, load, u"de", &E::DebtCount, &E::GetDebt, &E::AddDebt);
    Each(env, root, load, u"cr", &E::CreditCount, &E::GetCredit, &E::AddCredit);
}

} // namespace

using RoundTripTest = ModelTest;

TEST_F(RoundTripTest, EveryFieldOfEveryClassComesBack) {
    TQVSource* cash = NewSource(u"Cash \u20AC");
    cash->Description = u"Wallet";
    cash->Icon = -4;
    cash->AllowIncome = false;
    cash->IsDefault = true;
    TQVSource* bank = NewSource(u"Bank");
    bank->AllowExpense = false;
    TQVLocation* food = NewLocation(u"Food");
    food->Description = u"Groceries";
    food->Enabled = false;
    TQVLocation* salary = NewLocation(u"Salary", true);
    Env().GetExpense(Env().AddExpense())->Name = u"Declared";
    Env().GetIncome(Env().AddIncome())->Id = "I1";
    Env().GetDsLocation(Env().AddDsLocation())->Name = u"Dormant";

    TQVMonth* month = NewMonth(2009, 3);
    TQVExpenseItem* expense = Add<TQVExpenseItem>(*month, 1234567.89L, month->Date + 0.123, cash);
    expense->Location = food;
    expense->Name = u"Shopping";
    expense->PeerName = u"Shop";
    expense->IsAdjustment = true;
    Add<TQVIncomeItem>(*month, -0.01L, month->Date + 2.5, bank)->Location = salary;
    Add<TQVA2AItem>(*month, 1e20L, month->Date + 1.75, cash)->Destination = bank;
    month->Sort();
    TQVIncomeItem* debt = Env().GetDebt(Env().AddDebt());
    debt->Sum = 99.99L;
    debt->PeerName = u"Ann";
    debt->Date = 39000.5;
    debt->Source = bank;
    debt->Location = salary;
    Env().GetCredit(Env().AddCredit())->Source = cash;
    TQVCFFolder saved;
    SaveOrLoad(Env(), saved, false);
    const std::unique_ptr<TQVCFFolder> stored = ThroughEncoding(saved);

    TQVEnvironment loaded;
    {
        struct TRestore {
            TQVEnvironment* Saved = Environment;
            ~TRestore() { Environment = Saved; }
        } restore;
        Environment = &loaded;
        SaveOrLoad(loaded, *stored, true);
    }
    TQVCFFolder resaved;
    SaveOrLoad(loaded, resaved, false);

    // Same bytes again: every stored field came back, references under the same Ids.
    EXPECT_EQ(resaved.Encode(), saved.Encode());
    ASSERT_EQ(loaded.SourceCount(), 2); // no placeholder: every reference resolved
    EXPECT_EQ(loaded.GetSource(0)->Icon, -4);
    EXPECT_FALSE(loaded.GetSource(0)->AllowIncome);
    EXPECT_FALSE(loaded.GetExpenseLocation(0)->Enabled);
    const TQVMonth& m = *loaded.GetMonth(0);
    ASSERT_EQ(m.Count(), 3);
    const auto& spent = static_cast<const TQVExpenseItem&>(*m.GetFlow(2));
    EXPECT_EQ(spent.Sum, 1234567.89L);
    EXPECT_EQ(spent.Date, expense->Date);
    EXPECT_EQ(spent.Source, loaded.GetSource(0));
    EXPECT_EQ(spent.Location, loaded.GetExpenseLocation(0));
    EXPECT_TRUE(spent.IsAdjustment);
    EXPECT_EQ(static_cast<const TQVA2AItem&>(*m.GetFlow(1)).Destination, loaded.GetSource(1));
    EXPECT_EQ(loaded.GetDebt(0)->Location, loaded.GetIncomeLocation(0));
    EXPECT_EQ(loaded.GetDebt(0)->PeerName, u"Ann");
}
