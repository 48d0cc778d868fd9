#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <limits>
#include <set>

#include <gtest/gtest.h>

#include "BudgetTestSupport.h"
#include "model/QVMoneyText.h"
#include "platform/Stream.h"
#include "storage/QVCompoundFile.h"
#include "storage/QVException.h"

namespace {

using BudgetFileTest = BudgetTest;

// A new budget with thirteen accounts, months of every kind of flow, debts, loans and the
// dormant lists, all with fields away from their defaults.
void FillBudget(TQVEnvironment& env, const std::string& fileName) {
    env.NewBudget(fileName, u"Haushalt \u00e4\u20ac", true);
    env.Description = u"two lines\nof text";
    for (int i = 1; i <= 12; ++i) {
        TQVSource* source = env.GetSource(env.AddSource());
        source->Name = u"Account " + std::u16string(1, static_cast<char16_t>(u'A' + i));
        source->Id = QVBase::CreateGUIDString();
        source->Description = i % 2 ? u"odd" : u"";
        source->Icon = i == 7 ? -1 : i;
        source->AllowIncome = i % 3 != 0;
        source->AllowExpense = i % 4 != 0;
    }
    env.GetExpenseLocation(4)->Enabled = false;
    env.GetExpenseLocation(5)->Description = u"for others";
    env.GetIncomeLocation(2)->Enabled = false;

    TQVSource* cash = env.GetSource(0);
    TQVSource* bank = env.GetSource(11);
    TQVMonth& june = *env.GetMonth(env.FindMonth(QVUtils::EncodeDate(2008, 6, 1), true));
    TQVMonth& january = *env.GetMonth(env.FindMonth(QVUtils::EncodeDate(2009, 1, 1), true));
    auto* food = Add<TQVExpenseItem>(june, 12.5L, QVUtils::EncodeDate(2008, 6, 3) + 0.25, cash);
    food->Location = env.GetExpenseLocation(0);
    food->Name = u"Lunch";
    auto* fix = Add<TQVExpenseItem>(june, -3.0L, QVUtils::EncodeDate(2008, 6, 9), bank);
    fix->IsAdjustment = true; // and no category
    auto* pay = Add<TQVIncomeItem>(january, 1234567.89L, QVUtils::EncodeDate(2009, 1, 30), bank);
    pay->Location = env.GetIncomeLocation(3);
    pay->PeerName = u"Employer";
    auto* move = Add<TQVA2AItem>(january, 100.0L, QVUtils::EncodeDate(2009, 1, 2), bank);
    move->Destination = cash;
    for (TQVMonth* month : {&june, &january})
        month->Sort();

    auto* debt = env.GetDebt(env.AddDebt());
    debt->Sum = 50.0L;
    debt->PeerName = u"Anna";
    debt->Source = cash;
    debt->Location = env.GetIncomeLocation(3);
    auto* loan = env.GetCredit(env.AddCredit());
    loan->Sum = 0.01L;
    loan->Name = u"Bike";
    loan->Source = bank;

    for (int i = 0; i < 2; ++i) {
        TQVExpense* e = env.GetExpense(env.AddExpense());
        e->Name = u"decl";
        e->Id = "E" + std::to_string(i);
        env.GetIncome(env.AddIncome())->Id = "R" + std::to_string(i);
        TQVLocation* ds = env.GetDsLocation(env.AddDsLocation());
        ds->Name = u"ds";
        ds->Id = "D" + std::to_string(i);
        env.GetCsLocation(env.AddCsLocation())->Enabled = i == 0;
    }
    env.EnsureCurrentMonth();
}

// The root item names of a saved container in the order the file holds them.
std::vector<std::u16string> RootNamesInFile(TQVCompoundFile& container) {
    TMemoryStream stream;
    container.SaveToStream(stream);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.Data().data());
    const std::uint32_t infoLength = bytes[8] | bytes[9] << 8 | bytes[10] << 16 | bytes[11] << 24;
    const std::size_t body = TQVCompoundFile::HeaderSize + infoLength;
    TQVCFFolder root;
    root.SetSorted(false); // keep the file's order
    root.LoadFromBuffer(bytes + body, static_cast<std::uint32_t>(stream.Data().size() - body));
    std::vector<std::u16string> names;
    for (int i = 0; i < root.Count(); ++i)
        names.push_back(root.GetItem(i)->Name);
    return names;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : FileSystem::FindFiles(folder, "*"))
        names.push_back(entry.Name);
    return names;
}

} // namespace

TEST_F(BudgetFileTest, NewBudgetHasTheDefaultContent) {
    const std::string file = BudgetPath();
    Env().NewBudget(file, u"Home", true);
    EXPECT_EQ(Env().FileName, QVUtils::GetFullPath(file));
    EXPECT_EQ(Env().Title, u"Home");
    EXPECT_EQ(Env().BudgetId.size(), 32u);
    ASSERT_EQ(Env().MonthCount(), 1);
    EXPECT_EQ(Env().IndexOfCurrentMonth(), 0);
    EXPECT_EQ(QVUtils::DecodeDate(Env().GetMonth(0)->Date).Day, 1);
    ASSERT_FALSE(Env().Settings().RecentLocations.empty());
    EXPECT_EQ(QVUtils::WideToAnsi(Env().Settings().RecentLocations.front()), Env().FileName);
    EXPECT_FALSE(FileSystem::FileExists(file));

    ASSERT_EQ(Env().SourceCount(), 1);
    const TQVSource& cash = *Env().GetSource(0);
    EXPECT_EQ(cash.Name, u"Cash");
    EXPECT_EQ(cash.Icon, 3);
    EXPECT_TRUE(cash.IsDefault && cash.AllowIncome && cash.AllowExpense);
    EXPECT_TRUE(cash.Description.empty());

    // Every category enabled, every object with an id of its own.
    std::set<std::string> ids{cash.Id};
    std::u16string names;
    for (int i = 0; i < Env().ExpenseLocationCount(); ++i) {
        const TQVLocation& category = *Env().GetExpenseLocation(i);
        names += category.Name + (category.Enabled ? u"," : u" (disabled),");
        ids.insert(category.Id);
    }
    EXPECT_EQ(names, u"Food,Clothes,Cafe,Transport,Gifts,Accessories,Beauty,House,Cellphone,"
                     u"Vacations,Interior,Doctor,Medicine,Music/Video,Computer Software,"
                     u"Computer Hardware,Taxes,Rest and Pleasure,Debt,");
    names.clear();
    for (int i = 0; i < Env().IncomeLocationCount(); ++i) {
        names += Env().GetIncomeLocation(i)->Name + u",";
        ids.insert(Env().GetIncomeLocation(i)->Id);
    }
    EXPECT_EQ(names, u"Salary,Deposit percents,Royalties,Debt,");
    EXPECT_EQ(ids.size(), 24u);
    EXPECT_EQ(ids.begin()->size(), 32u);

    Env().Reset();
    Env().NewBudget(file, u"Home", false);
    EXPECT_EQ(Env().SourceCount(), 0);
    EXPECT_EQ(Env().ExpenseLocationCount(), 19);
}

TEST_F(BudgetFileTest, EveryObjectSurvivesSaveAndOpenAtEveryLevel) {
    int asked = 0;
    Env().PasswordRequest = [&asked]() -> std::optional<std::u16string> {
        ++asked;
        return u"p\u00e4ss";
    };
    for (std::uint8_t level = 0; level <= 2; ++level) {
        SCOPED_TRACE(level);
        Env().Reset();
        FillBudget(Env(), BudgetPath());
        if (level != 0) {
            Env().SetPassword(u"p\u00e4ss");
            Env().SetProtection(level);
        }
        const std::string before = DescribeBudget(Env());
        const std::string id = Env().BudgetId;
        Env().SaveToFile(BudgetPath());

        Env().Reset();
        Env().Title = u"stale";
        Env().FileName.clear();
        asked = 0;
        Env().LoadFromFile(BudgetPath());
        EXPECT_EQ(DescribeBudget(Env()), before);
        EXPECT_EQ(Env().BudgetId, id);
        EXPECT_EQ(Env().Protection, level);
        EXPECT_EQ(asked, level == 2 ? 1 : 0);
        EXPECT_EQ(Env().FileName, QVUtils::GetFullPath(BudgetPath()));
    }
    // Thirteen accounts came back in the order they were written, not as "0", "1", "10", ...
    EXPECT_EQ(Env().GetSource(0)->Name, u"Cash");
    EXPECT_EQ(Env().GetSource(12)->Name, u"Account M");
}

TEST_F(BudgetFileTest, RootItemsStandInTheirFixedOrder) {
    Env().BudgetId = "short";
    TQVCompoundFile container;
    Env().SaveToCompoundFile(container);
    const std::vector<std::u16string> expected = {u"id", u"vmaj", u"vmin", u"title", u"desc",
                                                  u"l",  u"il",   u"s",    u"e",     u"r",
                                                  u"ds", u"cs",   u"m",    u"de",    u"cr"};
    EXPECT_EQ(RootNamesInFile(container), expected);
    EXPECT_EQ(FileData(container.Root(), u"id"), "QV");
    EXPECT_EQ(FileData(container.Root(), u"vmin"), "1");
    EXPECT_FALSE(container.Protected);
    // A short id is replaced in full, in memory too; a longer one is kept.
    EXPECT_EQ(Env().BudgetId.size(), 32u);
    EXPECT_EQ(container.Info, Env().BudgetId);
    Env().BudgetId = std::string(40, 'x');
    TQVCompoundFile second;
    Env().SaveToCompoundFile(second);
    EXPECT_EQ(second.Info, std::string(40, 'x'));
}

TEST_F(BudgetFileTest, BadObjectsAreDroppedAloneAndListsKeepNumericOrder) {
    TQVCompoundFile container;
    TQVCFFolder& root = container.Root();
    PutFile(root, u"TITLE", QVBase::WideToBytes(u"From file"));
    TQVCFFolder& locations = root.NewFolder(u"l");
    for (const char16_t* name : {u"10", u"x", u"2", u"1", u"02"}) {
        TQVCFFolder& folder = TypedFolder(locations, name, "locationdecl");
        PutFile(folder, u"name", QVBase::WideToBytes(name));
    }
    TQVCFFolder& sources = root.NewFolder(u"s");
    PutFile(TypedFolder(sources, u"0", "sourcedecl"), u"id", "A");
    TypedFolder(sources, u"1", "SourceDecl");
    PutFile(sources, u"2", "not a folder");
    PutFile(TypedFolder(sources, u"3", "sourcedecl"), u"id", "B");
    TQVCFFolder& months = root.NewFolder(u"m");
    PutFile(TypedFolder(months, u"0", "month"), u"month",
            QVUtils::DoubleToBytes(QVUtils::EncodeDate(2007, 3, 1)));
    TypedFolder(months, u"1", "mnth");
    PutFile(TypedFolder(months, u"2", "month"), u"month", QVUtils::DoubleToBytes(std::nan("")));
    TQVCFFolder& debts = root.NewFolder(u"de");
    PutFile(TypedFolder(debts, u"0", "income"), u"sum", "1,50");
    PutFile(TypedFolder(debts, u"1", "income"), u"sum", "2.00");
    container.Info = "id";
    Env().Description = u"kept";

    Env().LoadFromCompoundFile(container);
    EXPECT_EQ(Env().Title, u"From file");
    EXPECT_EQ(Env().Description, u"kept");
    ASSERT_EQ(Env().ExpenseLocationCount(), 5);
    std::u16string order;
    for (int i = 0; i < 5; ++i)
        order += Env().GetExpenseLocation(i)->Name + u" ";
    EXPECT_EQ(order, u"1 02 2 10 x "); // equal numbers keep the folder's order
    ASSERT_EQ(Env().SourceCount(), 2);
    EXPECT_EQ(Env().GetSource(1)->Id, "B");
    // March 2007 and the current month, newest first.
    ASSERT_EQ(Env().MonthCount(), 2);
    EXPECT_EQ(Env().IndexOfCurrentMonth(), 0);
    EXPECT_EQ(QVUtils::DecodeDate(Env().GetMonth(1)->Date).Year, 2007);
    ASSERT_EQ(Env().DebtCount(), 1);
    EXPECT_EQ(Env().GetDebt(0)->Sum, 2.0L);
    EXPECT_EQ(Env().IncomeLocationCount(), 0);
    EXPECT_EQ(Env().BudgetId.size(), 32u);

    // Flows find their accounts through the global environment: no other one may load.
    TQVEnvironment other;
    EXPECT_THROW(other.LoadFromCompoundFile(container), EAssertionFailed);
}

TEST_F(BudgetFileTest, FailedSaveLeavesThePreviousFileAsItWas) {
    FillBudget(Env(), BudgetPath());
    Env().SaveToFile(BudgetPath());
    const std::string original = FileSystem::ReadFile(BudgetPath());
    const std::vector<std::string> entries = FolderEntries(Folder.Path());
    TQVMonth& month = *Env().GetMonth(0);
    for (int i = 0; i < 500; ++i)
        Add<TQVIncomeItem>(month, i, QVUtils::Now(), Env().GetSource(0))->Name = u"grow the file";
    Env().FileName = "unchanged";

    // The disk refuses more than 4 KiB per file midway through the write.
    {
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 4096;
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_THROW(Env().SaveToFile(BudgetPath()), EWriteError);
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, oldHandler);
    }
    // A protected budget without a key is refused once the new file has been started.
    Env().Protection = 2;
    Env().PasswordKey.clear();
    EXPECT_THROW(Env().SaveToFile(BudgetPath()), EPACFError);
    // An amount that cannot be written stops the save before the disk is touched.
    Env().Protection = 0;
    month.GetFlow(0)->Sum = std::numeric_limits<long double>::quiet_NaN();
    EXPECT_THROW(Env().SaveToFile(BudgetPath()), EConvertError);

    EXPECT_EQ(FileSystem::ReadFile(BudgetPath()), original);
    EXPECT_EQ(FolderEntries(Folder.Path()), entries); // no temporary file left behind
    EXPECT_EQ(Env().FileName, "unchanged");
}

TEST_F(BudgetFileTest, SavedFileKeepsItsPermissions) {
    Env().NewBudget(BudgetPath(), u"Home", true);
    Env().SaveToFile(BudgetPath());
    ASSERT_EQ(::chmod(BudgetPath().c_str(), 0640), 0);
    Env().SaveToFile(BudgetPath());
    EXPECT_EQ(FileMode(BudgetPath()), 0640u);
}
