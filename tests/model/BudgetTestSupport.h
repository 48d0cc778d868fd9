#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "ModelTestSupport.h"
#include "model/QVMoneyText.h"
#include "platform/FileSystem.h"
#include "storage/QVBase.h"
#include "support/TempDir.h"

// A fresh global environment with a temporary folder for budget files.
class BudgetTest : public ModelTest {
protected:
    // The budget file in the temporary folder and the per-user data folder.
    std::string BudgetPath(const std::string& name = "budget.qn") const {
        return Folder.File(name);
    }
    static std::string DataFolder() { return QVBase::GetAppDataFolder(true); }

    TTempDir Folder;
};

inline unsigned FileMode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0u;
}

// Every object of the budget with every field, references by the target's id, in list order.
inline std::string DescribeBudget(TQVEnvironment& env) {
    std::ostringstream out;
    const auto text = [](std::u16string_view s) { return "'" + QVUtils::WideToAnsi(s) + "'"; };
    const auto date = [](double d) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "%a", d);
        return std::string(buffer);
    };
    const auto ref = [](const auto* object) { return object ? object->Id : std::string("-"); };
    const auto flow = [&](const TQVMoneyFlow& f) {
        out << "  " << QVMoneyText::MoneyToText(f.Sum) << ' ' << date(f.Date) << ' ' << text(f.Name)
            << ' ' << text(f.PeerName) << ' ' << f.IsAdjustment << ' ';
        if (f.Kind() == TQVFlowKind::Expense) {
            const auto& e = static_cast<const TQVExpenseItem&>(f);
            out << "expense " << ref(e.Source) << ' ' << ref(e.Location) << '\n';
        } else if (f.Kind() == TQVFlowKind::Income) {
            const auto& i = static_cast<const TQVIncomeItem&>(f);
            out << "income " << ref(i.Source) << ' ' << ref(i.Location) << '\n';
        } else {
            const auto& t = static_cast<const TQVA2AItem&>(f);
            out << "a2a " << ref(t.Source) << ' ' << ref(t.Destination) << '\n';
        }
    };
    const auto location = [&](const TQVLocation& l) {
        out << "  " << text(l.Name) << ' ' << text(l.Description) << ' ' << l.Id << ' ' << l.Enabled
            << '\n';
    };
    out << text(env.Title) << ' ' << text(env.Description) << '\n';
    out << "expense categories\n";
    for (int i = 0; i < env.ExpenseLocationCount(); ++i)
        location(*env.GetExpenseLocation(i));
    out << "income categories\n";
    for (int i = 0; i < env.IncomeLocationCount(); ++i)
        location(*env.GetIncomeLocation(i));
    out << "accounts\n";
    for (int i = 0; i < env.SourceCount(); ++i) {
        const TQVSource& s = *env.GetSource(i);
        out << "  " << text(s.Name) << ' ' << text(s.Description) << ' ' << s.Id << ' ' << s.Icon
            << ' ' << s.AllowIncome << s.AllowExpense << s.IsDefault << '\n';
    }
    out << "declarations\n";
    for (int i = 0; i < env.ExpenseCount(); ++i)
        out << "  e " << text(env.GetExpense(i)->Name) << ' ' << env.GetExpense(i)->Id << '\n';
    for (int i = 0; i < env.IncomeCount(); ++i)
        out << "  r " << text(env.GetIncome(i)->Name) << ' ' << env.GetIncome(i)->Id << '\n';
    out << "ds\n";
    for (int i = 0; i < env.DsLocationCount(); ++i)
        location(*env.GetDsLocation(i));
    out << "cs\n";
    for (int i = 0; i < env.CsLocationCount(); ++i)
        location(*env.GetCsLocation(i));
    for (int i = 0; i < env.MonthCount(); ++i) {
        out << "month " << date(env.GetMonth(i)->Date) << '\n';
        for (const TQVMoneyFlow* f : env.GetMonth(i)->Flows())
            flow(*f);
    }
    out << "debts\n";
    for (int i = 0; i < env.DebtCount(); ++i)
        flow(*env.GetDebt(i));
    out << "credits\n";
    for (int i = 0; i < env.CreditCount(); ++i)
        flow(*env.GetCredit(i));
    return out.str();
}
