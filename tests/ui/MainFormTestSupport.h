#pragma once

#include <initializer_list>
#include <memory>
#include <string>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "UiTestSupport.h"
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
    // a transfer of 100 from Cash to Bank. With `keep` the budget stays loaded for more changes
    // (SaveAndForget then); else the environment is reset, as a fresh start would find it.
    std::string MakeBudget(bool keep = false) {
        const std::string path = Home.File("home.qn");
        Env().NewBudget(path, u"Home", true);
        TQVSource* cash = Env().GetSource(0);
        TQVSource* bank = NewAccount(u"Bank");
        AddFlow<TQVIncomeItem>(Today(), 1000, cash);
        AddFlow<TQVExpenseItem>(Today(), 250.5L, cash);
        AddFlow<TQVA2AItem>(Today(), 100, cash).Destination = bank;
        TQVMonth* old = Env().GetMonth(Env().FindMonth(QVUtils::EncodeDate(2020, 4, 1), true));
        AddFlow<TQVExpenseItem>(*old, 40, bank, QVUtils::EncodeDate(2020, 4, 3));
        if (!keep) {
            SaveAndForget(path);
        }
        return path;
    }
    // Writes the budget, makes the window open it by itself at start, and forgets it.
    void SaveAndForget(const std::string& path) {
        Env().SaveToFile(path);
        Env().Reset();
        Env().FileName.clear();
        RememberLast(path);
    }
    static void RememberLast(const std::string& path) {
        Env().Settings().AutoOpenLast = true;
        Env().Settings().RecentNames = {u"Home"};
        Env().Settings().RecentLocations = {QVUIUtils::FromQ(QString::fromStdString(path))};
    }
    // A start-up dialog action: opens the budget at `path` from the dialog's Open page.
    static DialogAction OpenFromStartup(const std::string& path) {
        return [path](QDialog& d) {
            Child<QTabWidget>(d, "PageControl")->setCurrentIndex(1);
            Child<QLineEdit>(d, "editOpenLocation")->setText(QString::fromStdString(path));
            ClickOn(d, "btnOKOpen");
        };
    }
    static TQVMonth& Today() { return *Env().GetMonth(Env().IndexOfCurrentMonth()); }

    // Starts the window as the program does and waits until it is active, so keys reach it.
    void OpenWindow() {
        Window.reset();
        Window = std::make_unique<TfrmMain>();
        Window->show();
        Settle();
    }
    // Lets queued work run and frees the editors the grids have let go. After a dialog the window
    // is made active again, as the desktop does when the dialog closes.
    void Settle() {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!Window->isActiveWindow()) {
            Window->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
        }
    }

    TOutlookBar& Bar() { return *Child<TOutlookBar>(*Window, "LeftBar"); }
    TOutlookBarPage& BarPage(int page) { return Bar().Page(page); }
    void ClickBarButton(int index) {
        QTest::mouseClick(Bar().ButtonWidget(index), Qt::LeftButton);
        Settle();
    }
    // Opens page `page` of the navigation bar by its header, then its button `button`.
    void ShowBarPage(int page, int button) {
        QTest::mouseClick(Bar().PageHeader(page), Qt::LeftButton);
        ClickBarButton(button);
    }
    QString Label(const char* label) { return Child<QLabel>(*Window, label)->text(); }
    QAction& Action(const char* name) { return *Child<QAction>(*Window, name); }
    QTreeView& Grid(const char* name) { return *Child<QTreeView>(*Window, name); }
    // Amounts as totals and the account card show them.
    static QString Money(long double value) { return QVUIUtils::FormatMoney(value, 10); }

    static QString Cell(QTreeView& grid, int row, int column) {
        return grid.model()->index(row, column).data().toString();
    }
    // The visible cells of a row, as one line.
    static QString RowText(QTreeView& grid, int row) {
        QStringList cells;
        for (int column = 0; column < grid.model()->columnCount(); ++column) {
            if (!grid.isColumnHidden(column)) {
                cells << Cell(grid, row, column);
            }
        }
        return cells.join(QStringLiteral(" | "));
    }
    static int RowNamed(QTreeView& grid, int column, const QString& text) {
        for (int row = 0; row < grid.model()->rowCount(); ++row) {
            if (Cell(grid, row, column) == text) {
                return row;
            }
        }
        return -1;
    }
    // Opens the editor of a cell as a double click does and returns what took the focus.
    static QWidget* Edit(QTreeView& grid, int row, int column) {
        const QModelIndex index = grid.model()->index(row, column);
        grid.setCurrentIndex(index);
        grid.edit(index);
        return QApplication::focusWidget();
    }
    // Types over the text of the focused editor and ends with `key`.
    void Type(const QString& text, Qt::Key key = Qt::Key_Return) {
        QWidget* editor = QApplication::focusWidget();
        ASSERT_NE(editor, nullptr);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, key);
        Settle();
        QApplication::processEvents(); // a refusal is shown on the pass after the commit
    }

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
        return *Child<QMenu>(*Window, name);
    }
    // The captions of a menu's items, "-" for a separator, " (off)" after a disabled one.
    static QStringList Captions(QMenu& menu) {
        QStringList captions;
        for (QAction* action : menu.actions()) {
            captions << (action->isSeparator() ? "-" : action->text()) +
                            (action->isEnabled() ? "" : " (off)");
        }
        return captions;
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
    void Choose(QMenu& menu, const QString& caption) {
        QAction* action = Item(menu, caption);
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->isEnabled());
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
        Settle();
    }

    std::unique_ptr<TfrmMain> Window;
};
