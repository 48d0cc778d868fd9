#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "UiTestSupport.h"
#include "model/QVA2A.h"
#include "storage/QVBase.h"
#include "ui/MainForm.h"
#include "ui/QVUIUtils.h"
#include "ui/widgets/OutlookBar.h"

// Budgets on disk and the main window over them, for the tests of the window and its pages.
class MainFormTest : public UiTest {
protected:
    void TearDown() override {
        Window.reset();
        UiTest::TearDown();
    }

    // A budget file "Home" with the accounts Cash and Bank, an older month (April 2020, an
    // expense of 40 from Bank) and in the current one an income of 1000, an expense of 250.50 and
    // a transfer of 100 from Cash to Bank; the environment is reset afterwards, as a fresh start
    // would find it.
    std::string MakeBudget(const std::string& name = "home.qn") {
        const std::string path = Home.File(name);
        Env().NewBudget(path, u"Home", true);
        TQVSource* cash = Env().GetSource(0);
        TQVSource* bank = NewAccount(u"Bank");
        TQVMonth& now = Today();
        AddFlow<TQVIncomeItem>(now, 1000, cash);
        AddFlow<TQVExpenseItem>(now, 250.5L, cash);
        AddFlow<TQVA2AItem>(now, 100, cash)->Destination = bank;
        TQVMonth* old = Env().GetMonth(Env().FindMonth(QVUtils::EncodeDate(2020, 4, 1), true));
        AddFlow<TQVExpenseItem>(*old, 40, bank)->Date = QVUtils::EncodeDate(2020, 4, 3);
        SaveAndForget(path);
        return path;
    }
    static void SaveAndForget(const std::string& path) {
        Env().SaveToFile(path);
        Env().Reset();
        Env().FileName.clear();
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
    static TQVSource* NewAccount(const char16_t* name) {
        TQVSource* account = Env().GetSource(Env().AddSource());
        account->Name = name;
        account->Id = QVBase::CreateGUIDString();
        return account;
    }
    static TQVMonth& Today() { return *Env().GetMonth(Env().IndexOfCurrentMonth()); }

    void RememberLast(const std::string& path) {
        Env().Settings().AutoOpenLast = true;
        Env().Settings().RecentNames = {u"Home"};
        Env().Settings().RecentLocations = {QVUIUtils::FromQ(QString::fromStdString(path))};
    }

    // Answers the next start-up dialog with its Cancel button, or by running `action` on it.
    void AnswerStartup(std::function<void(QDialog&)> action) { DialogActions.push_back(action); }

    // Starts the window as the program does and waits until it is active, so keys reach it.
    void OpenWindow() {
        Window.reset();
        Window = std::make_unique<TfrmMain>();
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    }

    TOutlookBar& Bar(TfrmMain& window) { return *Child<TOutlookBar>(window, "LeftBar"); }
    TOutlookBarPage& BarPage(int page) { return Bar(*Window).Page(page); }
    void ClickBarButton(int index) {
        QTest::mouseClick(Bar(*Window).ButtonWidget(index), Qt::LeftButton);
    }
    QString Text(TfrmMain& window, const char* label) {
        return Child<QLabel>(window, label)->text();
    }
    QString Label(const char* label) { return Text(*Window, label); }
    QAction& Action(TfrmMain& window, const char* name) { return *Child<QAction>(window, name); }
    QTreeView& Grid(const char* name) { return *Child<QTreeView>(*Window, name); }
    // Amounts as totals and the account card show them.
    static QString Money(long double value) { return QVUIUtils::FormatMoney(value, 10); }

    static void Select(QTreeView& grid, std::initializer_list<int> rows) {
        grid.selectionModel()->clear();
        for (int row : rows) {
            grid.selectionModel()->select(grid.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    // Right-clicks the grid and returns the menu that opened.
    QMenu& OpenMenu(QTreeView& grid, const char* name) {
        const QPoint where(5, 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, where,
                                grid.viewport()->mapToGlobal(where));
        QApplication::sendEvent(grid.viewport(), &event);
        QApplication::processEvents();
        QMenu* menu = Window->findChild<QMenu*>(QString::fromLatin1(name));
        EXPECT_NE(menu, nullptr);
        return *menu;
    }
    static QAction* Item(QMenu& menu, const QString& caption) {
        for (QAction* action : menu.actions()) {
            if (action->text() == caption) {
                return action;
            }
        }
        ADD_FAILURE() << "no menu item " << caption.toStdString();
        return nullptr;
    }
    static void Choose(QMenu& menu, const QString& caption) {
        QAction* action = Item(menu, caption);
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->isEnabled());
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
        QApplication::processEvents();
    }

    std::unique_ptr<TfrmMain> Window;
};
