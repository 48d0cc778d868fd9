#include <signal.h>
#include <sys/resource.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/QVMoneyText.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVException.h"
#include "support/CryptoOracle.h"
#include "support/Outcome.h"

namespace {

using StreamedSaveTest = ModelTest;

// A budget of many months, accounts and flows (past a hundred), every kind of each, text beyond
// ASCII, and debts and loans.
void ManyFlows(TQVEnvironment& env) {
    env.Title = u"Haushalt \u00e4\U0001F600";
    env.Description = u"many";
    TQVLocation* food = env.GetExpenseLocation(env.AddExpenseLocation());
    food->Name = u"Food";
    food->Id = "L1";
    TQVLocation* salary = env.GetIncomeLocation(env.AddIncomeLocation());
    salary->Id = "L2";
    for (int i = 0; i < 130; ++i) {
        TQVSource* source = env.GetSource(env.AddSource());
        source->Name = u"Account " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
        source->Id = "S" + std::to_string(i);
    }
    for (int m = 1; m <= 14; ++m) {
        TQVMonth& month =
            *env.GetMonth(env.FindMonth(QVUtils::EncodeDate(2020, 1 + m % 12, 1), true));
        for (int i = 0; i < (m == 3 ? 1111 : 40); ++i) {
            TQVSource* source = env.GetSource(i % 130);
            const double date = month.Date + (i % 28) + 0.25;
            if (i % 3 == 0)
                Add<TQVExpenseItem>(month, -i * 1.25L, date, source)->Location = food;
            else if (i % 3 == 1)
                Add<TQVIncomeItem>(month, 1e13L + i, date, source)->Location = salary;
            else
                Add<TQVA2AItem>(month, 0.005L * i, date, source)->Destination = env.GetSource(0);
            month.GetFlow(month.Count() - 1)->Name = i % 2 ? u"Groceries" : u"";
        }
        month.Sort();
    }
    for (int i = 0; i < 12; ++i) {
        env.GetDebt(env.AddDebt())->PeerName = u"Creditor";
        env.GetCredit(env.AddCredit())->Sum = i;
    }
}

// The bytes of the container the tree writer builds for the budget now, under the file password
// of its key when it is protected.
std::string TreeFile(TQVEnvironment& env, std::string& password) {
    TQVCompoundFile container;
    if (env.BudgetId.size() < 32)
        env.BudgetId = std::string(32, 'i');
    BudgetContainer(env, container);
    container.Protected = env.Protection != 0;
    if (container.Protected)
        password = std::string(TQVEnvironment::KeyToFilePassword(env.PasswordKey));
    container.OnPassword = [&password](TQVCompoundFile&, TSecret& given, bool&) {
        given = password;
    };
    TMemoryStream stream;
    container.SaveToStream(stream);
    return stream.Data();
}

const std::vector<std::pair<const char*, std::function<void(TQVEnvironment&)>>> Shapes = {
    {"empty", [](TQVEnvironment&) {}},
    {"new", [](TQVEnvironment& env) { env.NewBudget("unused.qn", u"Home", true); }},
    {"one month",
     [](TQVEnvironment& env) {
         TQVMonth& month = *env.GetMonth(env.AddMonth());
         month.Date = 39873.0;
         Add<TQVExpenseItem>(month, 12.5L, 39873.5)->PeerName = u"p";
         Add<TQVA2AItem>(month, -3, 39874.5);
     }},
    {"many", ManyFlows},
};

} // namespace

// The streamed save writes the file the tree writer would, for every shape of budget and at
// every protection level: the same bytes, or under protection the same head and plain body.
TEST_F(StreamedSaveTest, FileHasTheTreeWritersBytes) {
    for (const auto& [shape, fill] : Shapes) {
        for (std::uint8_t level = 0; level <= 2; ++level) {
            SCOPED_TRACE(std::string(shape) + ", level " + std::to_string(level));
            Env().Reset();
            Env().BudgetId.clear();
            fill(Env());
            if (level != 0) {
                Env().SetPassword(u"p\u00e4ss");
                Env().SetProtection(level);
            }
            std::string password;
            const std::string tree = TreeFile(Env(), password);
            Env().SaveToFile(BudgetPath());
            const std::string streamed = FileSystem::ReadFile(BudgetPath());
            ASSERT_EQ(streamed.size(), tree.size());
            EXPECT_EQ(streamed[12], level != 0 ? 40 : 0);
            // Under protection, the head with the level and, under each file's own IV, the body.
            const std::size_t head = level == 0 ? streamed.size() : 20 + 4 + 32 + 1;
            EXPECT_EQ(streamed.substr(0, head), tree.substr(0, head));
            if (level != 0) {
                EXPECT_EQ(Oracle::PlainBody(streamed, head - 1, password),
                          Oracle::PlainBody(tree, head - 1, password));
            }
        }
    }
}

// A save that fails, while writing (the disk full at the head, in the body or near its end) or
// before it (an amount that cannot be written), leaves the previous file and the stored
// password record as they were, whatever the new level would have done with the record. The
// write error keeps its words and adds the budget's name and the system's reason.
TEST_F(StreamedSaveTest, FailedSaveKeepsFileAndPasswordRecord) {
    ManyFlows(Env());
    Env().SetPassword(u"first");
    Env().SetProtection(1);
    Env().SaveToFile(BudgetPath());
    const std::string file = FileSystem::ReadFile(BudgetPath());
    const std::string record = DataFolder() + "default.cpw";
    const std::string stored = FileSystem::ReadFile(record);
    ASSERT_GT(file.size(), 400000u); // past the first blocks of a streamed body
    Env().SetPassword(u"second");
    Env().FileName = "unchanged";
    const auto keptAsTheyWere = [&] {
        EXPECT_EQ(FileSystem::ReadFile(BudgetPath()), file);
        EXPECT_EQ(FileSystem::ReadFile(record), stored);
        EXPECT_EQ(FileSystem::FindFiles(Home.Path(), ".budget.qn.save-*").size(), 0u);
        EXPECT_EQ(Env().FileName, "unchanged");
    };
    for (const int level : {0, 1, 2}) {
        Env().SetProtection(static_cast<std::uint8_t>(level));
        for (const rlim_t limit : {rlim_t(40), rlim_t(300000), rlim_t(file.size() - 100)}) {
            SCOPED_TRACE(std::to_string(level) + ", " + std::to_string(limit));
            rlimit saved{};
            ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
            rlimit small = saved;
            small.rlim_cur = limit;
            const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
            EXPECT_EQ(Outcome<EWriteError>([&] { Env().SaveToFile(BudgetPath()); }),
                      "Stream write error in file \"" + BudgetPath() + "\": File too large");
            setrlimit(RLIMIT_FSIZE, &saved);
            signal(SIGXFSZ, oldHandler);
            keptAsTheyWere();
        }
    }
    Env().GetMonth(Env().MonthCount() - 1)->GetFlow(7)->Sum =
        std::numeric_limits<long double>::infinity();
    EXPECT_THROW(Env().SaveToFile(BudgetPath()), EConvertError);
    keptAsTheyWere();
}
