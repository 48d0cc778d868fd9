#pragma once

#include <functional>
#include <string>
#include <type_traits>

#include <QAction>
#include <QLabel>

#include "UiTestSupport.h"
#include "model/QVA2A.h"
#include "storage/QVBase.h"
#include "ui/MainForm.h"
#include "ui/QVUIUtils.h"
#include "ui/widgets/OutlookBar.h"

// Budgets on disk and the main window over them, for the tests of the window and its pages.
class MainFormTest : public UiTest {
protected:
    // A budget file "Home" with two accounts, an older month and flows in the current one; the
    // environment is reset afterwards, as a fresh start would find it.
    std::string MakeBudget(const std::string& name = "home.qn") {
        const std::string path = Home.File(name);
        Env().NewBudget(path, u"Home", true);
        TQVSource* cash = Env().GetSource(0);
        TQVSource* bank = Env().GetSource(Env().AddSource());
        bank->Name = u"Bank";
        bank->Id = QVBase::CreateGUIDString();
        TQVMonth* now = Env().GetMonth(Env().IndexOfCurrentMonth());
        AddFlow<TQVIncomeItem>(*now, 1000, cash);
        AddFlow<TQVExpenseItem>(*now, 250.5L, cash);
        auto* transfer = AddFlow<TQVA2AItem>(*now, 100, cash);
        transfer->Destination = bank;
        TQVMonth* old = Env().GetMonth(Env().FindMonth(QVUtils::EncodeDate(2020, 4, 1), true));
        AddFlow<TQVExpenseItem>(*old, 40, bank)->Date = QVUtils::EncodeDate(2020, 4, 3);
        Env().SaveToFile(path);
        Env().Reset();
        Env().FileName.clear();
        return path;
    }

    template <class T> static T* AddFlow(TQVMonth& month, long double sum, TQVSource* source) {
        T* flow = nullptr;
        if constexpr (std::is_same_v<T, TQVIncomeItem>) {
            flow = static_cast<T*>(month.GetFlow(month.AddIncome()));
        } else if constexpr (std::is_same_v<T, TQVExpenseItem>) {
            flow = static_cast<T*>(month.GetFlow(month.AddExpense()));
        } else {
            flow = static_cast<T*>(month.GetFlow(month.AddA2A()));
        }
        flow->Sum = sum;
        flow->Date = QVUtils::Now();
        flow->Source = source;
        return flow;
    }

    void RememberLast(const std::string& path) {
        Env().Settings().AutoOpenLast = true;
        Env().Settings().RecentNames = {u"Home"};
        Env().Settings().RecentLocations = {QVUIUtils::FromQ(QString::fromStdString(path))};
    }

    // Answers the next start-up dialog with its Cancel button, or by running `action` on it.
    void AnswerStartup(std::function<void(QDialog&)> action) { DialogActions.push_back(action); }

    TOutlookBar& Bar(TfrmMain& window) { return *Child<TOutlookBar>(window, "LeftBar"); }
    QString Text(TfrmMain& window, const char* label) {
        return Child<QLabel>(window, label)->text();
    }
    QAction& Action(TfrmMain& window, const char* name) { return *Child<QAction>(window, name); }
};
