#pragma once

#include <memory>
#include <string>

#include <QMainWindow>

#include "ui/QVImages.h"

class QCloseEvent;
class QShowEvent;
class QAbstractItemModel;
class QToolButton;
class QTreeView;
class TQVDebtsView;
class TQVDictView;
class TQVMonth;
class TQVMonthView;
class TQVSource;
class TQVSummaryView;

namespace Ui {
class TfrmMain;
}

// The program's one main window. Every page's handlers are its operations because they share its
// fields; the operations live in one source file per page:
//   MainForm.cpp          life cycle, budget commands, help, about
//   MainFormLeftBar.cpp   the navigation bar, page layout, switching, translated captions
//   MainFormCashflow.cpp  the month list and its totals
//   MainFormAccounts.cpp  the account card
//   MainFormDebts.cpp     debts and loans
//   MainFormDict.cpp      category lists
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // Runs the window's creation: opens the last budget or asks for one with the start-up dialog.
    // When the user cancels that (or the environment failed to start), the window asks to close
    // and IsClosing() tells the caller not to show it.
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Ends the program through the window's closing, which saves the budget and the settings.
    void ExitApplication();
    bool IsClosing() const { return FClosing; }
    // A budget is open (none after a failed open or new budget).
    bool HasBudget() const { return FHasBudget; }

    // ---- Life cycle and budget commands (MainForm.cpp)
    bool ExecuteStartupDialog();
    // Replace the open budget; errors reach the caller with the window left without a budget.
    void NewBudget(const std::string& fileName, const std::u16string& title);
    void OpenBudget(const std::string& fileName);
    void SaveBudget();
    void SaveBudgetAs();
    void EditBudgetProperties();
    void EditProtection();
    void EditSettings();
    void ShowHelp();
    void ShowAbout();
    void ClearTrees();

    // ---- Navigation bar and pages (MainFormLeftBar.cpp)
    void BuildLeftBar();
    void BuildAccountsPage();
    void LeftBarPageChange(int page);
    void LeftBarButtonClick(int index);
    void RefreshMonthButtons();
    void TranslateUI();
    void ShowCashflowPage();
    void ShowAccountsPage();
    void ShowDebtsPage();
    void ShowPersonalisationPage();
    void ShowSummaryPage();
    void ReleaseViewButtons();

    // ---- Cash-flow page (MainFormCashflow.cpp)
    void ShowMonth(TQVMonth* month);
    void UpdateCashflowTotals();
    TQVMonth* CurrentMonth() const { return FCurrentMonth; }

    // ---- Accounts page (MainFormAccounts.cpp)
    void ShowAccount(TQVSource* account);
    void SetEnvironmentImageLists();
    TQVSource* CurrentAccount() const { return FCurrentAccount; }

    // ---- Debts and loans (MainFormDebts.cpp)
    void ShowDebts();
    void ShowCredits();
    void UpdateDebtTotals();

    // ---- Category lists (MainFormDict.cpp)
    void ShowExpenseCategories();
    void ShowIncomeCategories();
    // 1 the expense categories, 2 the income categories.
    void ShowCategories(int kind);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Wiring of menus, toolbar and bar (MainForm.cpp).
    void ConnectActions();
    void BuildToolbar();
    void ApplyMenuImages();
    // The window without a budget: bar and grids empty, budget commands off.
    void EnterNoBudgetState();
    void SetBudgetCommandsEnabled(bool enabled);
    // Saves the open budget to its file before it is replaced; false when that failed (the
    // message has been shown).
    bool SaveBeforeReplacing();
    // Runs `open` (a new or an opened budget) and lays the window out for it; on failure shows
    // the message, leaves the window without a budget and returns false.
    template <class F> bool ReplaceBudget(F open);
    // Called when a view toolbar button is clicked: runs `show` unless its page already shows.
    void ViewButtonClicked(QToolButton* button, void (TfrmMain::*show)());

    // Shows `model` in `tree` (null empties it) and frees the selection model of the previous one.
    static void BindModel(QTreeView& tree, QAbstractItemModel* model);

    // Header of the content: text and 44-pixel picture.
    void SetHeader(const QString& text, const QPixmap& picture);
    void SetHeaderPicture(const TImageList& list, int index);
    // Hides every page's widgets (the first step of each page layout).
    void HideAllContent();
    void ApplyMonthButtonImages();
    void FillMonthButtons();
    QToolButton* ViewButton(int page) const;

    // Totals line text shared by the cash-flow and debts pages.
    void SetTotals(long double income, long double expense, int count, const QString& period);

    std::unique_ptr<Ui::TfrmMain> m_ui;

    std::unique_ptr<TQVMonthView> FMonthView;
    TQVMonth* FCurrentMonth = nullptr;
    TQVSource* FCurrentAccount = nullptr;
    std::unique_ptr<TQVDictView> FDictView;
    std::unique_ptr<TQVSummaryView> FSummaryView;
    std::unique_ptr<TQVDebtsView> FDebtsView;
    int FEditColumn = 0;
    int FAccountIconBase = 0;
    bool FClosing = false;
    int FShowCount = 0;
    bool FHasBudget = false;

    // The navigation bar's pictures: its own, then a copy of the account icons (and the
    // new-account icon) appended at each build of the accounts page.
    TImageList imgLeftBarButtons{44};
    // The account and month icons that the environment's pages draw with.
    const TImageList* FSourceIcons = nullptr;
    const TImageList* FMonthIcons = nullptr;

    QToolButton* btnAddIncome = nullptr;
    QToolButton* btnAddExpense = nullptr;
    QToolButton* btnViewCashflow = nullptr;
    QToolButton* btnViewAccounts = nullptr;
    QToolButton* btnViewDebts = nullptr;
    QToolButton* btnViewPersonalisation = nullptr;
    QToolButton* btnViewSummary = nullptr;
};
