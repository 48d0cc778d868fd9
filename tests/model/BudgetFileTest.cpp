#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <limits>
#include <new>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/QVMoneyText.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "platform/Workers.h"
#include "storage/QVException.h"
#include "support/Outcome.h"

namespace {

using BudgetFileTest = ModelTest;

// One object of every kind with every field away from its default, under fixed ids.
void SmallBudget(TQVEnvironment& env) {
    env.Title = u"T";
    env.Description = u"D";
    env.BudgetId = std::string(32, 'b');
    auto location = [](TQVLocation* l, const char16_t* name, const char* id) {
        l->Name = name;
        l->Id = id;
        return l;
    };
    TQVLocation* food = location(env.GetExpenseLocation(env.AddExpenseLocation()), u"F", "L1");
    food->Enabled = false;
    location(env.GetIncomeLocation(env.AddIncomeLocation()), u"P", "L2")->Description = u"x";
    location(env.GetDsLocation(env.AddDsLocation()), u"X", "D1");
    TQVSource* cash = env.GetSource(env.AddSource());
    cash->Name = u"C";
    cash->Id = "S1";
    cash->Description = u"W";
    cash->Icon = -7;
    cash->AllowIncome = false;
    cash->IsDefault = true;
    env.GetExpense(env.AddExpense())->Name = u"E";
    env.GetExpense(0)->Id = "E1";
    env.GetIncome(env.AddIncome())->Name = u"R";
    env.GetIncome(0)->Id = "R1";
    TQVMonth* month = env.GetMonth(env.AddMonth());
    month->Date = 39873.0; // 1 March 2009
    TQVExpenseItem* spent = Add<TQVExpenseItem>(*month, 12.5L, 39873.5, cash);
    spent->Location = food;
    spent->Name = u"n";
    spent->PeerName = u"p";
    spent->IsAdjustment = true;
    Add<TQVIncomeItem>(*month, -3.0L, 39874.25)->Location = env.GetIncomeLocation(0);
    Add<TQVA2AItem>(*month, 1234567.891L, 39875.75, cash);
    TQVIncomeItem* debt = env.GetDebt(env.AddDebt());
    debt->Sum = 0.5L;
    debt->PeerName = u"A";
}

} // namespace

TEST_F(BudgetFileTest, NewBudgetHasTheDefaultContent) {
    const std::string file = BudgetPath();
    Env().NewBudget(file, u"Home", true);
    ASSERT_EQ(Env().MonthCount(), 1);
    // On the recent list at once, before anything is written.
    EXPECT_EQ(Env().Settings().RecentNames, std::vector<std::u16string>{u"Home"});
    EXPECT_EQ(QVUtils::WideToAnsi(Env().Settings().RecentLocations.at(0)), file);
    ASSERT_EQ(Env().SourceCount(), 1);
    EXPECT_TRUE(Env().GetSource(0)->IsDefault);
    // Every category enabled, every object with an id of its own.
    std::set<std::string> ids{Env().GetSource(0)->Id, Env().BudgetId};
    std::u16string names;
    for (int i = 0; i < Env().ExpenseLocationCount(); ++i) {
        const TQVLocation& category = *Env().GetExpenseLocation(i);
        names += category.Name + (category.Enabled ? u"," : u" (disabled),");
        ids.insert(category.Id);
    }
    for (int i = 0; i < Env().IncomeLocationCount(); ++i) {
        names += u"+" + Env().GetIncomeLocation(i)->Name + u",";
        ids.insert(Env().GetIncomeLocation(i)->Id);
    }
    EXPECT_EQ(names, u"Food,Clothes,Cafe,Transport,Gifts,Accessories,Beauty,House,Cellphone,"
                     u"Vacations,Interior,Doctor,Medicine,Music/Video,Computer Software,"
                     u"Computer Hardware,Taxes,Rest and Pleasure,Debt,"
                     u"+Salary,+Deposit percents,+Royalties,+Debt,");
    EXPECT_EQ(ids.size(), 25u);
    Env().Reset();
    Env().NewBudget(file, u"Home", false);
    EXPECT_EQ(Env().SourceCount(), 0);
}

// Every item of every stored object, by name and bytes, and the root in its fixed order.
TEST_F(BudgetFileTest, StoredLayoutToTheByte) {
    SmallBudget(Env());
    Env().SaveToFile(BudgetPath());
    TQVCompoundFile file;
    file.Root().SetSorted(false); // the root as the file holds it
    TFileStream stream(BudgetPath(), TFileMode::OpenRead);
    file.LoadFromStream(stream);
    EXPECT_EQ(file.Info, std::string(32, 'b'));
    EXPECT_FALSE(file.Protected);
    EXPECT_EQ(DumpTree(file.Root()),
              R"(/: id=QV vmaj=0 vmin=1 title=T\x00 desc=D\x00 l/ il/ s/ e/ r/ ds/ cs/ m/ de/ cr/
/l/: 0/
/l/0/: d= e=\x00 id=L1 name=F\x00 type=locationdecl
/il/: 0/
/il/0/: d=x\x00 e=\x01 id=L2 name=P\x00 type=locationdecl
/s/: 0/
/s/0/: ae=\x01 ai=\x00 d=\x01 desc=W\x00 i=-7 id=S1 name=C\x00 type=sourcedecl
/e/: 0/
/e/0/: id=E1 name=E\x00 type=expensedecl
/r/: 0/
/r/0/: id=R1 name=R\x00 type=incomedecl
/ds/: 0/
/ds/0/: d= e=\x01 id=D1 name=X\x00 type=locationdecl
/cs/:
/m/: 0/
/m/0/: flows/ month=\x00\x00\x00\x00\x20x\xe3@ type=month
/m/0/flows/: 0/ 1/ 2/
/m/0/flows/0/: date=\x00\x00\x00\x000x\xe3@ h=\x01 lid=L1 name=n\x00 pname=p\x00 sid=S1 sum=12.50 type=expense
/m/0/flows/1/: date=\x00\x00\x00\x00Hx\xe3@ h=\x00 lid=L2 name= pname= sid= sum=-3.00 type=income
/m/0/flows/2/: date=\x00\x00\x00\x00xx\xe3@ did= h=\x00 name= pname= sid=S1 sum=1234567.89 type=a2a
/de/: 0/
/de/0/: date=\x00\x00\x00\x00\x00\x00\x00\x00 h=\x00 lid= name= pname=A\x00 sid= sum=0.50 type=income
/cr/:
)");
}

// Loaded and written again, a budget gives the same tree: every object, field and reference
// came back, in its order; beyond ten and a hundred of them too, and flows of one date as they
// were written.
TEST_F(BudgetFileTest, EverythingSurvivesSaveAndOpenAtEveryLevel) {
    int asked = 0;
    Env().PasswordRequest = [&asked]() -> std::optional<std::u16string> {
        ++asked;
        return u"p\u00e4ss";
    };
    for (std::uint8_t level = 0; level <= 2; ++level) {
        SCOPED_TRACE(level);
        Env().Reset();
        SmallBudget(Env());
        // References left empty would come back as a new account (see below).
        TQVSource* cash = Env().GetSource(0);
        static_cast<TQVIncomeItem*>(Env().GetMonth(0)->GetFlow(1))->Source = cash;
        static_cast<TQVA2AItem*>(Env().GetMonth(0)->GetFlow(2))->Destination = cash;
        Env().GetDebt(0)->Source = cash;
        Env().EnsureCurrentMonth();
        TQVMonth& month = *Env().GetMonth(0);
        for (int i = 0; i < 120; ++i) {
            NewSource(u"More");
            Add<TQVIncomeItem>(month, i, month.Date, Env().GetSource(i));
        }
        const auto counts = [] {
            int flows = 0;
            for (int i = 0; i < Env().MonthCount(); ++i)
                flows += Env().GetMonth(i)->Count();
            return std::pair(Env().SourceCount(), flows);
        };
        const auto written = counts();
        for (int i = 0; i < Env().MonthCount(); ++i)
            Env().GetMonth(i)->Sort();
        if (level != 0) {
            Env().SetPassword(u"p\u00e4ss");
            Env().SetProtection(level);
        }
        const std::string before = StoredTree(Env());
        Env().SaveToFile(BudgetPath());
        Env().Reset();
        Env().Title = u"stale";
        Env().FileName.clear();
        asked = 0;
        Env().LoadFromFile(BudgetPath());
        EXPECT_EQ(StoredTree(Env()), before);
        EXPECT_EQ(counts(), written);
        EXPECT_EQ(Env().BudgetId, std::string(32, 'b'));
        EXPECT_EQ(Env().Protection, level);
        EXPECT_EQ(asked, level == 2 ? 1 : 0);
        EXPECT_EQ(Env().FileName, BudgetPath());
    }
    // A short id is replaced in full, in memory too; a longer one is kept.
    const auto savedId = [this] {
        Env().SaveToFile(BudgetPath());
        TQVCompoundFile file;
        TFileStream stream(BudgetPath(), TFileMode::OpenRead);
        file.ReadInfo(stream);
        return file.Info;
    };
    Env().BudgetId = "short";
    EXPECT_EQ(savedId().size(), 32u);
    EXPECT_EQ(Env().BudgetId, savedId());
    Env().BudgetId = std::string(40, 'x');
    EXPECT_EQ(savedId(), std::string(40, 'x'));
}

// An account reference that names no account (an empty one included) brings one account
// "Untitled" per identifier, which every such reference then shares, and which stays.
TEST_F(BudgetFileTest, UnknownAccountsBecomeUntitledAccountsThatStay) {
    Env().NewBudget(BudgetPath(), u"Home", true);
    TQVMonth& month = *Env().GetMonth(0);
    TQVSource gone; // not in the budget
    gone.Id = "GONE";
    Add<TQVExpenseItem>(month, 1, month.Date + 0.3);
    Add<TQVIncomeItem>(month, 2, month.Date + 0.2);
    Add<TQVA2AItem>(month, 3, month.Date + 0.1, &gone)->Destination = &gone;
    Env().GetDebt(Env().AddDebt())->Source = &gone;
    Env().SaveToFile(BudgetPath());
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    ASSERT_EQ(Env().SourceCount(), 3);
    const TQVSource* blank = Env().GetSource(1);
    const TQVSource* named = Env().GetSource(2);
    for (const TQVSource* placeholder : {blank, named})
        EXPECT_EQ(placeholder->Name, u"Untitled");
    EXPECT_EQ(blank->Id, "");
    EXPECT_EQ(named->Id, "GONE");
    const TQVMonth& loaded = *Env().GetMonth(0);
    EXPECT_EQ(static_cast<const TQVExpenseItem*>(loaded.GetFlow(0))->Source, blank);
    EXPECT_EQ(static_cast<const TQVIncomeItem*>(loaded.GetFlow(1))->Source, blank);
    const auto* transfer = static_cast<const TQVA2AItem*>(loaded.GetFlow(2));
    EXPECT_EQ(transfer->Source, named);
    EXPECT_EQ(transfer->Destination, named);
    EXPECT_EQ(Env().GetDebt(0)->Source, named);
    const std::string stored = StoredTree(Env());
    Env().SaveToFile(BudgetPath());
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(StoredTree(Env()), stored);
}

TEST_F(BudgetFileTest, BadObjectsAreDroppedAloneAndListsKeepNumericOrder) {
    TQVCompoundFile container;
    TQVCFFolder& root = container.Root();
    PutFile(root, u"TITLE", QVBase::WideToBytes(u"From file"));
    TQVCFFolder& locations = root.NewFolder(u"l");
    for (const char16_t* name : {u"10", u"x", u"2", u"1", u"02"})
        PutFile(TypedFolder(locations, name, "locationdecl"), u"name", QVBase::WideToBytes(name));
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
    TMemoryStream written;
    container.SaveToStream(written);
    Env().Description = u"kept";
    TMemoryStream file(written.Data());
    Env().LoadFromStream(file, BudgetPath());
    EXPECT_EQ(Env().Title, u"From file");
    EXPECT_EQ(Env().Description, u"kept");
    std::u16string order;
    for (int i = 0; i < Env().ExpenseLocationCount(); ++i)
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
    EXPECT_EQ(Env().BudgetId.size(), 32u);
}

TEST_F(BudgetFileTest, FailedSaveLeavesThePreviousFileAsItWas) {
    SmallBudget(Env());
    Env().SaveToFile(BudgetPath());
    const std::string original = FileSystem::ReadFile(BudgetPath());
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
    EXPECT_EQ(FileSystem::FindFiles(Home.Path(), ".budget.qn.save-*").size(), 0u)
        << "temporary file left";
    EXPECT_EQ(Env().FileName, "unchanged");
}

// Budgets large enough that the open hands the file's pages back while it reads, with more months
// than sort alike as text and as numbers, come back as they were at every level; a month that
// cannot be read is dropped alone, and a damaged body fails as before with the budget untouched,
// also where the fault is met only after some months have been built.
TEST_F(BudgetFileTest, ManyMonthsComeBackAlikeWhileTheOpenHandsTheirBytesBack) {
    using namespace std::string_literals;
    Env().PasswordRequest = [] { return std::optional<std::u16string>(u"pw"); };
    const auto fill = [] {
        Env().Reset();
        TQVSource* cash = NewSource(u"Cash");
        TQVLocation* food = NewLocation(u"Food");
        for (int m = 0; m < 30; ++m) {
            TQVMonth& month = *NewMonth(2020 + m / 12, m % 12 + 1);
            for (int i = 0; i < 500; ++i) {
                auto* flow =
                    Add<TQVExpenseItem>(month, i + m / 100.0L, month.Date + i / 700.0, cash);
                flow->Location = food;
                flow->Name =
                    u"Groceries " + std::u16string(1 + i % 20, static_cast<char16_t>(u'a' + m));
            }
            month.Sort();
        }
        Env().EnsureCurrentMonth();
    };
    for (std::uint8_t level = 0; level <= 2; ++level) {
        SCOPED_TRACE(level);
        fill();
        if (level != 0) {
            Env().SetPassword(u"pw");
            Env().SetProtection(level);
        }
        const std::string before = StoredTree(Env());
        Env().SaveToFile(BudgetPath());
        ASSERT_GT(FileSystem::ReadFile(BudgetPath()).size(), 3u << 20);
        Env().Reset();
        Env().LoadFromFile(BudgetPath());
        EXPECT_EQ(StoredTree(Env()), before);
    }

    fill();
    TQVCompoundFile container;
    BudgetContainer(Env(), container);
    const auto dates = [] {
        std::vector<double> all;
        for (int i = 0; i < Env().MonthCount(); ++i)
            all.push_back(Env().GetMonth(i)->Date);
        return all;
    };
    std::vector<double> kept = dates();
    auto* date = dynamic_cast<TQVCFFile*>(container.Root().FindItem(u"m/17/month", false));
    ASSERT_NE(date, nullptr);
    date->Data = QVUtils::DoubleToBytes(std::nan(""));
    kept.erase(kept.begin() + 17);
    {
        TFileStream file(BudgetPath(), TFileMode::Create);
        container.SaveToStream(file);
    }
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(dates(), kept);

    // A file type tag halfway through the months becomes one no item has.
    std::string damaged = FileSystem::ReadFile(BudgetPath());
    const std::size_t tag = damaged.find("\x06\x01\x66"s, damaged.size() / 2);
    ASSERT_NE(tag, std::string::npos);
    damaged[tag + 2] = 'g';
    {
        TFileStream file(BudgetPath(), TFileMode::Create);
        file.WriteBuffer(damaged.data(), damaged.size());
    }
    const std::string message = "Cannot open file \"" + BudgetPath() +
                                "\": it is damaged or is not a budget (Unknown CF item type)";
    EXPECT_EQ(Outcome<EPACFError>([this] { Env().LoadFromFile(BudgetPath()); }), message);
    EXPECT_EQ(dates(), kept);
    // Into an empty budget the months are read as they are built, and the fault is met after
    // some of them: they go again, and the title read before them is put back.
    Env().Reset();
    Env().Title = u"Kept";
    EXPECT_EQ(Outcome<EPACFError>([this] { Env().LoadFromFile(BudgetPath()); }), message);
    EXPECT_EQ(Env().MonthCount(), 0);
    EXPECT_EQ(Env().SourceCount(), 0);
    EXPECT_EQ(Env().Title, u"Kept");
}

// Months read in place are built on several threads at once. Flows naming accounts the budget
// lacks get "Untitled" accounts in the order a reader meets them going through the file, so the
// budget comes out as a reading of the whole file in order gives it, however the threads run.
TEST_F(BudgetFileTest, MonthsBuiltTogetherComeOutAsReadInOrder) {
    Env().Reset();
    TQVSource* kept = NewSource(u"Kept");
    TQVSource* first = NewSource(u"Lost first");
    TQVSource* second = NewSource(u"Lost second");
    for (int m = 0; m < 36; ++m) {
        TQVMonth& month = *NewMonth(2020 + m / 12, m % 12 + 1);
        // The last months stored name the second lost account before any month names the first.
        TQVSource* source = m >= 30 ? second : m % 7 == 3 ? first : kept;
        for (int i = 0; i < 400; ++i)
            Add<TQVExpenseItem>(month, i + m / 100.0L, month.Date + i / 700.0, source)->Name =
                u"Flow " + std::u16string(1 + i % 30, u'x');
        month.Sort();
    }
    Env().EnsureCurrentMonth();
    TQVCompoundFile container;
    BudgetContainer(Env(), container);
    // The two accounts leave the list; their flows still name them.
    for (const char16_t* id : {u"s/1/id", u"s/2/id"})
        dynamic_cast<TQVCFFile*>(container.Root().FindItem(id, false))->Data = "gone";
    {
        TFileStream file(BudgetPath(), TFileMode::Create);
        container.SaveToStream(file);
    }
    ASSERT_GT(FileSystem::ReadFile(BudgetPath()).size(), 2u << 20);

    // Read over a budget that has objects, with no thread to be had: the months in order, one by
    // one, on the caller's thread.
    Env().Reset();
    NewSource(u"Before");
    Workers::StartFault = [](unsigned) { throw std::bad_alloc(); };
    Env().LoadFromFile(BudgetPath());
    Workers::StartFault = nullptr;
    const std::string inOrder = StoredTree(Env());
    ASSERT_EQ(Env().SourceCount(), 5);
    EXPECT_EQ(Env().GetSource(3)->Name, u"Untitled");
    EXPECT_EQ(Env().GetSource(4)->Name, u"Untitled");
    // Read into an empty one, several threads at once: the same budget.
    for (int round = 0; round < 3; ++round) {
        Env().Reset();
        Env().LoadFromFile(BudgetPath());
        EXPECT_EQ(StoredTree(Env()), inOrder) << round;
    }
}
