#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QCoreApplication>
#include <QMainWindow>
#include <QStringList>
#include <QSystemTrayIcon>

#include "model/QVMoneyFlow.h"
#include "ui/QVImages.h"

class QActionGroup;
class QCloseEvent;
class QShowEvent;
class QAbstractItemModel;
class QKeyEvent;
class QMenu;
class QModelIndex;
class QPoint;
class TQVBase;
class TQVMoneyFlow;
class TQVTVComboEditor;
class QToolButton;
class QTimer;
class QTreeView;
class TfrmTrayPopup;
enum class TTrayEntryMode : std::uint8_t;
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
    // While a closing save runs or its error is up, further requests (a second termination
    // signal, the end of the session) change nothing: a failed save keeps the window, so the user
    // can free space or save elsewhere, and IsClosing() stays false.
    void ExitApplication();
    bool IsClosing() const { return FClosing; }
    // A budget is open (none after a failed open or new budget).
    bool HasBudget() const { return FHasBudget; }

    // ---- The tray (MainFormTray.cpp)
    // The window commands that the settings may turn into hiding.
    enum class TSysCommand { Minimize, Close };
    void WMSysCommand(TSysCommand command);
    void StartHidingTimer();
    void StopHidingTimer();
    void HideToTray();
    void RestoreFromTray();
    void DoTrayDblClick();
    // Runs quick entry in `mode` and adds what was confirmed.
    void QuickEntry(TTrayEntryMode mode);
    // Whether the desktop has a notification area; tests stand in for it.
    static inline std::function<bool()> SystemTrayAvailable = [] {
        return QSystemTrayIcon::isSystemTrayAvailable();
    };
    // The program's command line, program name first; tests stand in for it.
    static inline std::function<QStringList()> CommandLine = [] {
        return QCoreApplication::arguments();
    };

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
    // Gives an account made elsewhere (typed into an editor or quick entry) its button on the
    // accounts page, just before the new-account button.
    void AddAccountButton(TQVSource* account);
    void TranslateUI();
    void ShowCashflowPage();
    void ShowAccountsPage();
    void ShowDebtsPage();
    void ShowPersonalisationPage();
    void ShowSummaryPage();
    void ReleaseViewButtons();

    // ---- Cash-flow page (MainFormCashflow.cpp, editing in MainFormCashflowEdit.cpp)
    void ShowMonth(TQVMonth* month);
    void UpdateCashflowTotals();
    TQVMonth* CurrentMonth() const { return FCurrentMonth; }
    // New flows dated today in the month of today, from the toolbar and the Edit menu; nothing
    // when the budget has no month of today.
    void NewIncomeToday();
    void NewExpenseToday();
    void NewA2AToday();
    // New flows in the month shown, on top of the grid, their title (or destination) editor open.
    void AddExpenseRow();
    void AddIncomeRow();
    void AddA2ARow();
    void RemoveSelectedMoneyFlows();
    void EditSelectedMoneyFlow();

    // ---- Accounts page (MainFormAccounts.cpp)
    void ShowAccount(TQVSource* account);
    void SetEnvironmentImageLists();
    void RenameAccount(TQVSource* account);
    void ChangeAccountIcon(TQVSource* account);
    void RemoveShownAccount();
    void AdjustShownAccountBalance();
    void NewAccountFromMenu();

    // ---- Debts and loans (MainFormDebts.cpp)
    void ShowDebts();
    void ShowCredits();
    // The debts, or with `credits` the loans, in the grid with their header and totals.
    void ShowDebtList(bool credits);
    void UpdateDebtTotals();
    void AddDebtRow();
    void AddCreditRow();
    void RemoveSelectedDebts();
    void RemoveSelectedCredits();
    void EditSelectedDebt();
    void NewDebtFromMenu();
    void NewCreditFromMenu();

    // ---- Category lists (MainFormDict.cpp)
    void ShowExpenseCategories();
    void ShowIncomeCategories();
    // 1 the expense categories, 2 the income categories.
    void ShowCategories(int kind);
    void EditSelectedCategory();
    // Enables (or disables) every selected category.
    void SetSelectedCategoriesEnabled(bool enabled);
    void RemoveSelectedCategories();
    void AddCategory();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Each page wires its own widgets (called once by the constructor).
    void ConnectTray();
    void ConnectCashflow();
    void ConnectAccountCard();
    void ConnectDebts();
    void ConnectDict();

    // The shared context menu of the cash-flow and debts grids, built anew each time it opens:
    // the cash-flow menu on page 0, the debts or loans menu on page 2.
    void mnuTreeViewPopup(QTreeView& tree, const QPoint& position);
    void BuildTreeViewMenu(QMenu& menu);
    void BuildCashflowMenu(QMenu& menu);
    void BuildDebtsMenu(QMenu& menu);
    void BuildCreditsMenu(QMenu& menu);
    void BuildDictMenu(QMenu& menu);

    // The cell editors of the cash-flow grid and what accepting them does.
    TQVTVComboEditor* tvInfoCreateEditor(QWidget* parent, const QModelIndex& index);
    void AssignComboValue(TQVTVComboEditor& editor, const QString& text, void* object);
    void CancelComboEdit(TQVTVComboEditor& editor);
    void AssignEditedDate(TQVTVComboEditor& editor, TDateTime date);
    void tvInfoNewText(TQVMoneyFlow& flow, int column, const QString& text);
    // After a date edit: the flow is kept in the month of its new date.
    void tvInfoEdited(TQVMoneyFlow& flow);
    // Adds a new flow of `kind` to the month shown (see AddExpenseRow).
    void AddRow(TQVFlowKind kind);
    void NewFlowToday(TQVFlowKind kind);

    void tvDebtsNewText(TQVMoneyFlow& flow, int column, const QString& text);
    void AddDebtOrCreditRow(bool credit);
    void RemoveSelectedDebtsOrCredits(bool credits);
    void NewDebtOrCreditFromMenu(bool credit);
    // Clears the account card and turns its commands off while no account is shown.
    void ClearAccountCard();

    void DictAddItem(TQVDictView& sender, TQVBase*& newItem);
    void DictDeleteItem(TQVDictView& sender, TQVBase* item, bool& allow);

    // The tray icon shows, so the window may hide without losing its way back.
    bool TrayUsable() const;
    void HidingTimerTimer();
    // The month of today, made when the budget lacks it.
    TQVMonth& MonthOfToday();
    void ShowMonthOfTodayIfShowing(TQVMonth& month);
    void AddQuickFlow(const TfrmTrayPopup& dialog, bool income);
    void AddQuickTransfer(const TfrmTrayPopup& dialog);
    void AddQuickDebt(const TfrmTrayPopup& dialog, bool loan);

    // Opens the editor of the first selected row in the grid's current column (a typed character,
    // the menus' Edit); nothing without a selection. `typed`, the character that asked for it,
    // goes into the editor.
    static void EditFirstSelected(QTreeView& tree, const QString& typed = {});
    // A key pressed in the grid itself that types a character (not navigation, editing or a
    // shortcut).
    static bool TypesCharacter(const QTreeView& tree, const QKeyEvent& event);
    // Calls `onKey` for every key pressed in `tree` before the grid handles it; true swallows it.
    void WatchGridKeys(QTreeView& tree, std::function<bool(QKeyEvent&)> onKey);

    // The budget a start opens without asking: the newest recent one, when the settings say so
    // and it is a file; empty otherwise (and with a failed environment).
    static std::string LaunchBudget();
    // The navigation bar, captions and first page for the budget just opened.
    void LayOutBudget();
    // Wiring of menus, toolbar and bar (MainForm.cpp).
    void ConnectActions();
    void BuildToolbar();
    // The pictures of the main menu's commands, once, when a menu first opens.
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
    void ViewButtonClicked(QToolButton* button, void (TfrmMain::*showPage)());

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
    // The category or account a combo editor reports for typed text; it never enters the budget
    // and is freed when the edit ends.
    std::unique_ptr<TQVBase> FNewItemObject;
    int FAccountIconBase = 0;
    bool FClosing = false;
    bool FMenuImagesApplied = false;
    // The closing save runs, or shows its error.
    bool FClosingSave = false;
    int FShowCount = 0;
    bool FHasBudget = false;

    // The navigation bar's pictures: its own, then a copy of the account icons (and the
    // new-account icon) appended at each build of the accounts page.
    TImageList imgLeftBarButtons{44};
    // The account and month icons that the environment's pages draw with.
    const TImageList* FSourceIcons = nullptr;
    const TImageList* FMonthIcons = nullptr;

    QSystemTrayIcon* TrayIcon = nullptr;
    QMenu* mnuTray = nullptr;
    // The tray menu's quick entries, which need a budget to write into.
    QActionGroup* mnuTrayEntries = nullptr;
    QTimer* HidingTimer = nullptr;

    QToolButton* btnAddIncome = nullptr;
    QToolButton* btnAddExpense = nullptr;
    QToolButton* btnViewCashflow = nullptr;
    QToolButton* btnViewAccounts = nullptr;
    QToolButton* btnViewDebts = nullptr;
    QToolButton* btnViewPersonalisation = nullptr;
    QToolButton* btnViewSummary = nullptr;
};
