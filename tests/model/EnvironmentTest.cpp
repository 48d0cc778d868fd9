#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "storage/QVException.h"

using EnvironmentTest = ModelTest;

TEST_F(EnvironmentTest, MonthsAreFoundAppendedAndSorted) {
    EXPECT_EQ(Env().IndexOfCurrentMonth(), -1);
    EXPECT_EQ(Env().FindMonth(QVUtils::Now(), false), -1);
    TQVMonth* june = NewMonth(2008, 6);
    const int march = Env().FindMonth(QVUtils::EncodeDate(2009, 3, 15) + 14.0 / 24.0, true);
    EXPECT_EQ(march, 1); // appended, not sorted in
    EXPECT_EQ(Env().GetMonth(march)->Date, QVUtils::EncodeDate(2009, 3, 1));
    EXPECT_EQ(Env().FindMonth(QVUtils::EncodeDate(2009, 3, 31), true), march);
    TQVMonth* old = NewMonth(2007, 3);
    const TDateTime before = QVUtils::Now();
    Env().EnsureCurrentMonth();
    Env().EnsureCurrentMonth();
    ASSERT_EQ(Env().MonthCount(), 4);
    EXPECT_EQ(Env().IndexOfCurrentMonth(), 0);
    EXPECT_GE(Env().GetMonth(0)->Date, before - 1.0 / 86400.0); // dated now, not the 1st
    EXPECT_EQ(Env().GetMonth(2), june);
    EXPECT_EQ(Env().GetMonth(3), old);
}

TEST_F(EnvironmentTest, BalanceAndUsage) {
    TQVSource* cash = NewSource(u"Cash");
    TQVSource* bank = NewSource(u"Bank");
    TQVSource* spare = NewSource(u"Spare");
    TQVLocation* salary = NewLocation(u"Salary", true);
    TQVLocation* gift = NewLocation(u"Gift", true);
    TQVMonth* march = NewMonth(2009, 3);
    TQVMonth* april = NewMonth(2009, 4);
    Add<TQVIncomeItem>(*march, 100, march->Date, cash)->Location = salary;
    Add<TQVExpenseItem>(*april, 30, april->Date, cash);
    Add<TQVA2AItem>(*april, 20, april->Date, cash)->Destination = bank;
    Add<TQVA2AItem>(*march, 5, march->Date, bank)->Destination = cash;
    Add<TQVA2AItem>(*march, 1000, march->Date, cash)->Destination = cash; // nets to nothing
    TQVIncomeItem* debt = Env().GetDebt(Env().AddDebt());
    debt->Sum = 500;
    debt->Source = cash;
    debt->Location = gift;
    TQVExpenseItem* credit = Env().GetCredit(Env().AddCredit());
    credit->Sum = 70;
    credit->Source = spare;
    EXPECT_EQ(Env().GetSourceBalance(cash), 55.0L);
    EXPECT_EQ(Env().GetSourceBalance(bank), 15.0L);
    EXPECT_EQ(Env().GetSourceBalance(spare), 0.0L);
    EXPECT_FALSE(Env().IsSourceUsed(spare)); // by a credit only
    EXPECT_TRUE(Env().IsIncomeLocationUsed(salary));
    EXPECT_FALSE(Env().IsIncomeLocationUsed(gift)); // by a debt only
    EXPECT_FALSE(Env().IsExpenseLocationUsed(salary));
}

TEST_F(EnvironmentTest, RemovalsLeaveNoReferenceToFreedObjects) {
    TQVSource* cash = NewSource(u"Cash");
    TQVLocation* food = NewLocation(u"Food");
    TQVLocation* salary = NewLocation(u"Salary", true);
    TQVMonth* month = NewMonth(2009, 3);
    TQVExpenseItem* expense = Add<TQVExpenseItem>(*month, 1, month->Date, cash);
    expense->Location = food;
    TQVIncomeItem* income = Add<TQVIncomeItem>(*month, 1, month->Date, cash);
    income->Location = salary;
    TQVA2AItem* transfer = Add<TQVA2AItem>(*month, 1, month->Date, cash);
    transfer->Destination = cash;
    TQVIncomeItem* debt = Env().GetDebt(Env().AddDebt());
    debt->Source = cash;
    debt->Location = salary;
    TQVExpenseItem* credit = Env().GetCredit(Env().AddCredit());
    credit->Source = cash;
    credit->Location = food;
    Env().DetachSource(cash);
    EXPECT_EQ(expense->Source, nullptr);
    EXPECT_EQ(income->Source, nullptr);
    EXPECT_EQ(debt->Source, nullptr);
    EXPECT_EQ(credit->Source, nullptr);
    EXPECT_EQ(transfer->Source, cash); // detaching leaves transfers alone...
    Env().RemoveSource(cash);
    EXPECT_EQ(transfer->Source, nullptr); // ...removing does not
    EXPECT_EQ(transfer->Destination, nullptr);
    Env().RemoveExpenseLocation(food);
    EXPECT_EQ(expense->Location, nullptr);
    EXPECT_EQ(credit->Location, nullptr);
    Env().DeleteIncomeLocation(0);
    EXPECT_EQ(income->Location, nullptr);
    EXPECT_EQ(debt->Location, nullptr);
}

TEST_F(EnvironmentTest, AllFlowsViewsEveryMonthButNoDebts) {
    TQVMonth* march = NewMonth(2009, 3);
    TQVMonth* april = NewMonth(2009, 4);
    TQVMoneyFlow* a = Add<TQVExpenseItem>(*march, 1, march->Date + 1);
    TQVMoneyFlow* b = Add<TQVIncomeItem>(*april, 2, april->Date + 1);
    TQVMoneyFlow* c = Add<TQVExpenseItem>(*march, 3, march->Date + 2);
    Env().AddDebt();
    Env().RebuildAllFlows();
    Env().RebuildAllFlows();
    TQVMonth& all = Env().AllFlows();
    EXPECT_EQ(all.Flows(), (std::vector<TQVMoneyFlow*>{b, c, a}));
    EXPECT_THROW(all.AddIncome(), EQVException);
    Env().DeleteMonth(1);
    EXPECT_EQ(all.Count(), 0); // the view must not keep freed flows
}

// Start-up reads the stored settings; a missing language table marks the start as failed, and
// with a table the start succeeds without a word.
TEST_F(EnvironmentTest, ConstructionReadsTheUsersFilesAndNeedsALanguageTable) {
    EXPECT_TRUE(Env().InitFailed);
    EXPECT_EQ(Env().CurrentLanguage, nullptr);
    const std::string languages = QVBase::GetAppDataFolder(true) + "lang";
    ASSERT_TRUE(FileSystem::ForceFolders(languages));
    FileSystem::WriteFileAtomic(languages + "/English.lng", FileSystem::ReadFile(QV_ENGLISH_LNG));
    Env().Settings().Lang = "none";
    Env().Settings().Save();
    std::vector<std::string> errors;
    TQVEnvironment::StartupErrorHandler = [&](const std::string& error) {
        errors.push_back(error);
    };
    TQVEnvironment started;
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(started.InitFailed);
    ASSERT_NE(started.CurrentLanguage, nullptr);
    EXPECT_EQ(started.Settings().Lang, started.CurrentLanguage->Id);
    EXPECT_EQ(started.Title, u"Untitled");
}
