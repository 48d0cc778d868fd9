#pragma once

// A large budget for the benchmarks: ten years of 400 flows a month (48,000 flows; expenses,
// incomes and transfers mixed) across 20 accounts and 40 categories, ending with the current
// month, plus 50 debts and 50 loans. The same seed gives the same budget every run; a larger
// count of flows a month gives the larger budgets.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"
#include "storage/QVBase.h"

// Temporary per-user folders for a whole benchmark run: XDG_DATA_HOME and XDG_CONFIG_HOME point
// into a fresh folder, so the installation id, password records and settings never reach the
// user's own folders. Create it before the first environment.
class TBenchFolders {
public:
    TBenchFolders() {
        char pattern[] = "/tmp/qvbench-XXXXXX";
        if (::mkdtemp(pattern) != nullptr)
            FRoot = pattern;
        ::setenv("XDG_DATA_HOME", (FRoot + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (FRoot + "/config").c_str(), 1);
        // No language tables there, and none are needed.
        TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
    }
    ~TBenchFolders() {
        std::error_code error;
        if (!FRoot.empty())
            std::filesystem::remove_all(FRoot, error);
    }
    TBenchFolders(const TBenchFolders&) = delete;
    TBenchFolders& operator=(const TBenchFolders&) = delete;

    std::string File(const std::string& name) const { return FRoot + "/" + name; }

private:
    std::string FRoot;
};

namespace BudgetGenerator {

constexpr int Years = 10;
constexpr int FlowsPerMonth = 400;
constexpr int AccountCount = 20;
constexpr int CategoryCount = 40; // half for expenses, half for incomes

inline std::u16string Numbered(std::u16string_view stem, int n) {
    const std::string digits = std::to_string(n);
    return std::u16string(stem) + u" " + std::u16string(digits.begin(), digits.end());
}

// Fills `env`, which should be empty, with `months` months up to the current one, and leaves them
// sorted newest first.
inline void Fill(TQVEnvironment& env, int flowsPerMonth = FlowsPerMonth, int months = Years * 12) {
    std::mt19937 random(20090315);
    for (int i = 0; i < AccountCount; ++i) {
        TQVSource* source = env.GetSource(env.AddSource());
        source->Name = Numbered(u"Account", i);
        source->Id = QVBase::CreateGUIDString();
    }
    for (int i = 0; i < CategoryCount / 2; ++i) {
        TQVLocation* expense = env.GetExpenseLocation(env.AddExpenseLocation());
        expense->Name = Numbered(u"Expense category", i);
        expense->Id = QVBase::CreateGUIDString();
        TQVLocation* income = env.GetIncomeLocation(env.AddIncomeLocation());
        income->Name = Numbered(u"Income category", i);
        income->Id = QVBase::CreateGUIDString();
    }
    const auto pick = [&random](int count) {
        return std::uniform_int_distribution<int>(0, count - 1)(random);
    };
    std::uniform_real_distribution<double> amount(0.01, 5000.0);
    const char16_t* titles[] = {u"Groceries", u"Rent", u"Fuel", u"Salary", u"Coffee", u""};

    const QVUtils::TDateParts now = QVUtils::DecodeDate(QVUtils::Now());
    for (int back = 0; back < months; ++back) {
        const int serial = now.Year * 12 + (now.Month - 1) - back;
        const int year = serial / 12;
        const int month = serial % 12 + 1;
        TQVMonth& m = *env.GetMonth(env.FindMonth(QVUtils::EncodeDate(year, month, 1), true));
        const double days = QVUtils::DaysInMonth(year, month);
        for (int i = 0; i < flowsPerMonth; ++i) {
            TQVMoneyFlow* flow;
            const int kind = pick(20);
            if (kind < 12) {
                auto* expense = static_cast<TQVExpenseItem*>(m.GetFlow(m.AddExpense()));
                expense->Source = env.GetSource(pick(AccountCount));
                expense->Location = env.GetExpenseLocation(pick(CategoryCount / 2));
                flow = expense;
            } else if (kind < 17) {
                auto* income = static_cast<TQVIncomeItem*>(m.GetFlow(m.AddIncome()));
                income->Source = env.GetSource(pick(AccountCount));
                income->Location = env.GetIncomeLocation(pick(CategoryCount / 2));
                flow = income;
            } else {
                auto* transfer = static_cast<TQVA2AItem*>(m.GetFlow(m.AddA2A()));
                transfer->Source = env.GetSource(pick(AccountCount));
                transfer->Destination = env.GetSource(pick(AccountCount));
                flow = transfer;
            }
            flow->Sum = static_cast<long double>(amount(random));
            flow->Date = m.Date + std::uniform_real_distribution<double>(0.0, days)(random);
            flow->Name = titles[pick(6)];
        }
        m.Sort();
    }
    env.EnsureCurrentMonth();
    for (int i = 0; i < 50; ++i) {
        TQVIncomeItem* debt = env.GetDebt(env.AddDebt());
        debt->Sum = static_cast<long double>(amount(random));
        debt->PeerName = Numbered(u"Creditor", i);
        TQVExpenseItem* loan = env.GetCredit(env.AddCredit());
        loan->Sum = static_cast<long double>(amount(random));
        loan->PeerName = Numbered(u"Debtor", i);
    }
}

// A fixed password key, so a protected budget opens through the stored record without a prompt.
inline const std::string FixedKey = "0123456789ABCDEF";

inline int FlowCount(const TQVEnvironment& env) {
    int count = 0;
    for (int i = 0; i < env.MonthCount(); ++i)
        count += env.GetMonth(i)->Count();
    return count;
}

// The shape of a large budget: its flows a month, its months, and whether one flow names no
// account (as an expense entered while the budget had no default account is saved), which the
// open gives an "Untitled" account.
struct TShape {
    int FlowsPerMonth = BudgetGenerator::FlowsPerMonth;
    int Months = Years * 12;
    bool Lost = false;
    bool operator==(const TShape&) const = default;
};

// The global environment holding the large budget at the given protection level, made first when
// there is none. The budget is generated anew each time unless `reuse` is set and it already
// holds a budget of that shape. The caller has pointed the per-user folders elsewhere first.
inline TQVEnvironment& Budget(std::uint8_t level, TShape shape, bool reuse = false) {
    static TShape filledWith{0, 0, false};
    if (Environment == nullptr) {
        Environment = new TQVEnvironment();
        TQVEnvironment::CreateInstallationId();
        filledWith = {0, 0, false};
    }
    TQVEnvironment& env = *Environment;
    if (!reuse || !(filledWith == shape)) {
        env.Reset();
        Fill(env, shape.FlowsPerMonth, shape.Months);
        for (TQVMoneyFlow* flow : env.GetMonth(0)->Flows()) {
            if (shape.Lost && flow->Kind() == TQVFlowKind::Expense) {
                static_cast<TQVExpenseItem*>(flow)->Source = nullptr;
                break;
            }
        }
        filledWith = shape;
    }
    env.PasswordKey = level != 0 ? FixedKey : std::string();
    env.Protection = level;
    env.PasswordChanged = level != 0;
    return env;
}

} // namespace BudgetGenerator
