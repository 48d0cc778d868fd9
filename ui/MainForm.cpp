#include "ui/MainForm.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <unistd.h>

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>

#include "model/QVEnvironment.h"
#include "model/QVStringKeeper.h"
#include "storage/QVBase.h"
#include "ui/Prompter.h"
#include "ui/QVApplication.h"
#include "ui/QVDebtsView.h"
#include "ui/QVDictView.h"
#include "ui/QVGrids.h"
#include "ui/QVMonthView.h"
#include "ui/QVSummaryView.h"
#include "ui/QVTVComboEditor.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/BudgetPropsForm.h"
#include "ui/dialogs/PasswordRequestForm.h"
#include "ui/dialogs/ProtectionForm.h"
#include "ui/dialogs/SettingsForm.h"
#include "ui/dialogs/StartupForm.h"
#include "ui/dialogs/TrayPopupForm.h"
#include "ui_MainForm.h"

using QVUIUtils::FromQ;
using QVUIUtils::ToQ;

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent), m_ui(std::make_unique<Ui::TfrmMain>()) {
    // The budget a start opens is read while the window is made, which does not touch the
    // environment until the read is over.
    const std::string launchBudget = LaunchBudget();
    if (!launchBudget.empty()) {
        Environment->StartLoadAhead(launchBudget);
    }
    try {
        m_ui->setupUi(this);
        setWindowIcon(QVImages::AppIcon());
        m_ui->JvNetscapeSplitter1->setSizes({167, 667});
        m_ui->JvNetscapeSplitter1->setStretchFactor(1, 1);
        BuildToolbar();
        // Looked up when a menu first opens: the icon theme is slow to search, and nothing shows
        // the menus' pictures before then.
        for (QMenu* menu : {m_ui->mnuFile, m_ui->mnuEdit, m_ui->mnuView, m_ui->mnuHelp}) {
            connect(menu, &QMenu::aboutToShow, this, &TfrmMain::ApplyMenuImages);
        }
        ConnectTray();
        ConnectActions();
        imgLeftBarButtons.AddAll(QVImages::LeftBarButtons());
        // The summary's figures sit under their group rows; the grid only reads.
        m_ui->tvSummary->setRootIsDecorated(true);
        m_ui->tvSummary->setEditTriggers(QAbstractItemView::NoEditTriggers);
        for (QTreeView* tree : {m_ui->tvInfo, m_ui->tvDebts, m_ui->tvDict, m_ui->tvSummary}) {
            QVGrids::ShowCutCellsWhole(*tree);
        }
        // Nothing is shown before a budget is open.
        HideAllContent();
        m_ui->pBottom->hide();
    } catch (...) {
        // The read works on the environment: it is over before the window's error goes on,
        // which is the one to tell.
        try {
            Environment->FinishLoadAhead();
        } catch (...) {
        }
        throw;
    }
    // While the budget is still being read, the window's native side is made and its style
    // applied, which would otherwise wait for the read and then hold up the first showing.
    ensurePolished();
    winId();
    // What the read ahead met is told as the open's own would be, once the window stands.
    bool loadedAhead = false;
    std::exception_ptr aheadError;
    try {
        loadedAhead = Environment->FinishLoadAhead();
    } catch (...) {
        aheadError = std::current_exception();
    }

    // The window's creation: with a failed environment there is nothing to do (the error was
    // shown) and the window closes as soon as it would show.
    if (Environment->InitFailed) {
        FClosing = true;
        return;
    }
    SetEnvironmentImageLists();
    InstallPasswordRequest(this);
    SetBudgetCommandsEnabled(false);

    if (!launchBudget.empty()) {
        // A last budget that fails to open leaves the window without one, its message shown;
        // New and Open stay at hand. One that wants a typed password is opened now, asking.
        ReplaceBudget([&] {
            if (aheadError) {
                std::rethrow_exception(aheadError);
            } else if (loadedAhead) {
                LayOutBudget();
            } else {
                OpenBudget(launchBudget);
            }
        });
        return;
    }
    if (!ExecuteStartupDialog()) {
        ExitApplication();
    }
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::BuildToolbar() {
    const TImageList& images = QVImages::Toolbar();
    m_ui->Toolbar->setIconSize(QSize(images.Size(), images.Size()));
    auto add = [&](const char* name, const QString& caption, const QString& hint, int image,
                   bool checkable) {
        auto* button = new QToolButton(m_ui->Toolbar);
        button->setObjectName(QString::fromLatin1(name));
        button->setText(caption);
        button->setToolTip(hint);
        button->setIcon(images.Icon(image));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setCheckable(checkable);
        button->setMinimumWidth(87);
        m_ui->Toolbar->addWidget(button);
        return button;
    };
    btnAddIncome = add("btnAddIncome", "New Income", "New Income", 0, false);
    btnAddExpense = add("btnAddExpense", "New Expense", "New Expense", 1, false);
    m_ui->Toolbar->addSeparator();
    btnViewCashflow = add("btnViewCashflow", "Cashflow", "Toggle cashflow view", 2, true);
    btnViewAccounts = add("btnViewAccounts", "Accounts", "Toggle accounts view", 3, true);
    btnViewDebts = add("btnViewDebts", "Debts and Loans", "Toggle debts and loans view", 4, true);
    btnViewPersonalisation =
        add("btnViewPersonalisation", "Personalisation", "Toggle personalisation view", 5, true);
    btnViewSummary = add("btnViewSummary", "Summary", "Toggle summary view", 6, true);
    btnViewCashflow->setChecked(true);
}

void TfrmMain::ApplyMenuImages() {
    if (FMenuImagesApplied) {
        return;
    }
    FMenuImagesApplied = true;
    // Menu pictures prefer the desktop's icon theme, so the menus look at home; ours stand in
    // where the theme has none.
    const TImageList& images = QVImages::Menu();
    const struct {
        QAction* action;
        int image;
        const char* theme;
    } items[] = {
        {m_ui->actNew, 4, "document-new"},
        {m_ui->actOpen, 6, "document-open"},
        {m_ui->actSave, 7, "document-save"},
        {m_ui->actSaveAs, 7, "document-save-as"},
        {m_ui->actExit, 8, "application-exit"},
        {m_ui->actNewExpense, 0, nullptr},
        {m_ui->actNewIncome, 2, nullptr},
        {m_ui->actA2A, 1, nullptr},
        {m_ui->actNewAccount, 19, nullptr},
        {m_ui->actCashflow, 9, nullptr},
        {m_ui->actAccounts, 10, nullptr},
        {m_ui->actDebts, 16, nullptr},
        {m_ui->actPersonalisation, 12, nullptr},
        {m_ui->actReports, 17, nullptr},
        {m_ui->actSettings, 13, "preferences-system"},
        {m_ui->actProtection, 18, nullptr},
        {m_ui->actHelpContents, 14, "help-contents"},
        {m_ui->actAbout, 15, "help-about"},
    };
    for (const auto& item : items) {
        const QIcon own = images.Icon(item.image);
        item.action->setIcon(item.theme ? QIcon::fromTheme(QString::fromLatin1(item.theme), own)
                                        : own);
    }
}

void TfrmMain::ConnectActions() {
    connect(m_ui->actNew, &QAction::triggered, this, [this] {
        TfrmStartup& dialog = TfrmStartup::Instance();
        dialog.Setup(true, false, false, nullptr, nullptr, Environment->Settings().AutoOpenLast);
        if (Prompter::Exec(dialog) != QDialog::Accepted || !SaveBeforeReplacing()) {
            return;
        }
        const std::string fileName = dialog.FileName();
        const std::u16string title = FromQ(dialog.BudgetTitle());
        Environment->Settings().AutoOpenLast = dialog.AutoOpenLast();
        ReplaceBudget([&] { NewBudget(fileName, title); });
    });
    connect(m_ui->actOpen, &QAction::triggered, this, [this] {
        TfrmStartup& dialog = TfrmStartup::Instance();
        const TQVSettings& settings = Environment->Settings();
        dialog.Setup(false, true, true, &settings.RecentNames, &settings.RecentLocations,
                     settings.AutoOpenLast);
        if (Prompter::Exec(dialog) != QDialog::Accepted || !SaveBeforeReplacing()) {
            return;
        }
        const std::string fileName = dialog.FileName();
        Environment->Settings().AutoOpenLast = dialog.AutoOpenLast();
        ReplaceBudget([&] { OpenBudget(fileName); });
    });
    connect(m_ui->actSave, &QAction::triggered, this, &TfrmMain::SaveBudget);
    connect(m_ui->actSaveAs, &QAction::triggered, this, &TfrmMain::SaveBudgetAs);
    connect(m_ui->actProperties, &QAction::triggered, this, &TfrmMain::EditBudgetProperties);
    connect(m_ui->actExit, &QAction::triggered, this, &TfrmMain::ExitApplication);
    connect(m_ui->actProtection, &QAction::triggered, this, &TfrmMain::EditProtection);
    connect(m_ui->actSettings, &QAction::triggered, this, &TfrmMain::EditSettings);
    connect(m_ui->actHelpContents, &QAction::triggered, this, &TfrmMain::ShowHelp);
    connect(m_ui->actAbout, &QAction::triggered, this, &TfrmMain::ShowAbout);

    const struct {
        QAction* action;
        void (TfrmMain::*showPage)();
    } pages[] = {
        {m_ui->actCashflow, &TfrmMain::ShowCashflowPage},
        {m_ui->actAccounts, &TfrmMain::ShowAccountsPage},
        {m_ui->actDebts, &TfrmMain::ShowDebtsPage},
        {m_ui->actPersonalisation, &TfrmMain::ShowPersonalisationPage},
        {m_ui->actReports, &TfrmMain::ShowSummaryPage},
    };
    for (const auto& page : pages) {
        connect(page.action, &QAction::triggered, this, [this, showPage = page.showPage] {
            ReleaseViewButtons();
            (this->*showPage)();
        });
    }
    const struct {
        QToolButton* button;
        void (TfrmMain::*showPage)();
    } buttons[] = {
        {btnViewCashflow, &TfrmMain::ShowCashflowPage},
        {btnViewAccounts, &TfrmMain::ShowAccountsPage},
        {btnViewDebts, &TfrmMain::ShowDebtsPage},
        {btnViewPersonalisation, &TfrmMain::ShowPersonalisationPage},
        {btnViewSummary, &TfrmMain::ShowSummaryPage},
    };
    for (const auto& item : buttons) {
        connect(item.button, &QToolButton::clicked, this,
                [this, button = item.button, showPage = item.showPage] {
                    ViewButtonClicked(button, showPage);
                });
    }

    connect(m_ui->LeftBar, &TOutlookBar::PageChange, this, &TfrmMain::LeftBarPageChange);
    connect(m_ui->LeftBar, &TOutlookBar::ButtonClick, this, &TfrmMain::LeftBarButtonClick);

    connect(m_ui->actNewExpense, &QAction::triggered, this, &TfrmMain::NewExpenseToday);
    connect(m_ui->actNewIncome, &QAction::triggered, this, &TfrmMain::NewIncomeToday);
    connect(m_ui->actA2A, &QAction::triggered, this, &TfrmMain::NewA2AToday);
    connect(m_ui->actNewDebt, &QAction::triggered, this, &TfrmMain::NewDebtFromMenu);
    connect(m_ui->actNewCredit, &QAction::triggered, this, &TfrmMain::NewCreditFromMenu);
    connect(m_ui->actNewAccount, &QAction::triggered, this, &TfrmMain::NewAccountFromMenu);
    connect(btnAddIncome, &QToolButton::clicked, this, &TfrmMain::NewIncomeToday);
    connect(btnAddExpense, &QToolButton::clicked, this, &TfrmMain::NewExpenseToday);

    ConnectCashflow();
    ConnectAccountCard();
    ConnectDebts();
    ConnectDict();
}

namespace {

// Hands every key pressed in a grid to its page first.
class TGridKeyFilter : public QObject {
public:
    TGridKeyFilter(QObject* parent, std::function<bool(QKeyEvent&)> onKey)
        : QObject(parent), FOnKey(std::move(onKey)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            return FOnKey(static_cast<QKeyEvent&>(*event));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(QKeyEvent&)> FOnKey;
};

} // namespace

void TfrmMain::WatchGridKeys(QTreeView& tree, std::function<bool(QKeyEvent&)> onKey) {
    tree.installEventFilter(new TGridKeyFilter(&tree, std::move(onKey)));
}

bool TfrmMain::TypesCharacter(const QTreeView& tree, const QKeyEvent& event) {
    // Keys that an open editor lets through are not the grid's.
    const QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && focus != &tree && tree.isAncestorOf(focus)) {
        return false;
    }
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return false;
    }
    const QString text = event.text();
    return !text.isEmpty() && text.at(0).isPrint();
}

void TfrmMain::EditFirstSelected(QTreeView& tree, const QString& typed) {
    if (tree.model() == nullptr || tree.selectionModel() == nullptr) {
        return;
    }
    const std::vector<int> rows = QVUIUtils::SelectedRows(*tree.selectionModel());
    if (rows.empty()) {
        return;
    }
    const int column = std::max(tree.currentIndex().column(), 0);
    const QModelIndex index = tree.model()->index(rows.front(), column);
    // The selection stays: the totals cover it.
    tree.selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    TQVCellDelegate::Edit(tree, index, typed);
}

void TfrmMain::ViewButtonClicked(QToolButton* button, void (TfrmMain::*showPage)()) {
    // The button of the page that shows stays down and does nothing; the clicked toggle is
    // undone because the window alone decides which view button is down.
    if (!button->isChecked()) {
        button->setChecked(true);
        return;
    }
    ReleaseViewButtons();
    (this->*showPage)();
}

void TfrmMain::SetBudgetCommandsEnabled(bool enabled) {
    for (QAction* action :
         {m_ui->actSave, m_ui->actSaveAs, m_ui->actProperties, m_ui->actProtection,
          m_ui->actCashflow, m_ui->actAccounts, m_ui->actDebts, m_ui->actPersonalisation,
          m_ui->actReports, m_ui->actNewExpense, m_ui->actNewIncome, m_ui->actA2A, m_ui->actNewDebt,
          m_ui->actNewCredit, m_ui->actNewAccount}) {
        action->setEnabled(enabled);
    }
    for (QToolButton* button : {btnAddIncome, btnAddExpense, btnViewCashflow, btnViewAccounts,
                                btnViewDebts, btnViewPersonalisation, btnViewSummary}) {
        button->setEnabled(enabled);
    }
    mnuTrayEntries->setEnabled(enabled);
}

// ---- Life cycle

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (Environment->InitFailed) {
        FClosing = true;
    }
    if (FClosing) {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    if (Environment->Settings().UseTray && !TrayIcon->isVisible()) {
        TrayIcon->show();
    }
    // Started at log-in: out of the way a second after the first show, once per run.
    const QStringList arguments = CommandLine();
    if (arguments.size() > 1 &&
        arguments[1].compare(QStringLiteral("/autorun"), Qt::CaseInsensitive) == 0 &&
        FShowCount == 0) {
        StartHidingTimer();
    }
    ++FShowCount;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // A close that comes while the closing save's error is up (its box runs an event loop) is
    // answered by that save: the window stays.
    if (FClosingSave) {
        event->ignore();
        return;
    }
    // The close box hides the window when asked to, without saving; Exit always ends.
    if (!FClosing && FHasBudget && Environment->Settings().HideOnClose && TrayUsable()) {
        event->ignore();
        HideToTray();
        return;
    }
    // The budget is written without a question; a failed save keeps the window open, so nothing
    // typed since the last save is lost. Without a budget nothing is written over a file.
    if (FHasBudget && !Environment->FileName.empty()) {
        const QScopedValueRollback<bool> saving(FClosingSave, true);
        try {
            Environment->SaveToFile(Environment->FileName);
        } catch (const std::exception& error) {
            FClosing = false;
            event->ignore();
            Prompter::Error(this, QString::fromStdString(error.what()));
            return;
        }
    }
    Environment->Settings().Save();
    event->accept();
    if (TrayIcon) {
        TrayIcon->hide();
    }
    // The loop does not end by itself when the window was hidden in the tray.
    QCoreApplication::quit();
}

void TfrmMain::ExitApplication() {
    if (FClosingSave) {
        return;
    }
    FClosing = true;
    close();
}

bool TfrmMain::ExecuteStartupDialog() {
    // At launch a failure shows its message and the dialog comes back, so a damaged file or a
    // refused password never ends the program unnoticed; only Cancel ends it. The dialog comes
    // back with its check box as the user left it.
    bool autoOpenLast = Environment->Settings().AutoOpenLast;
    for (;;) {
        TfrmStartup dialog;
        const TQVSettings& settings = Environment->Settings();
        dialog.Setup(true, true, true, &settings.RecentNames, &settings.RecentLocations,
                     autoOpenLast);
        if (Prompter::Exec(dialog) != QDialog::Accepted) {
            return false;
        }
        autoOpenLast = dialog.AutoOpenLast();
        const std::string fileName = dialog.FileName();
        const std::u16string title = FromQ(dialog.BudgetTitle());
        bool opened = false;
        switch (dialog.ResultKind()) {
        case TStartupResult::NewBudget:
            opened = ReplaceBudget([&] { NewBudget(fileName, title); });
            break;
        case TStartupResult::OpenExisting:
        case TStartupResult::OpenRecent:
            opened = ReplaceBudget([&] { OpenBudget(fileName); });
            break;
        default:
            return false;
        }
        if (opened) {
            Environment->Settings().AutoOpenLast = autoOpenLast;
            return true;
        }
    }
}

template <class F> bool TfrmMain::ReplaceBudget(F open) {
    try {
        FHasBudget = false;
        open();
        FHasBudget = true;
        SetBudgetCommandsEnabled(true);
        return true;
    } catch (const std::exception& error) {
        EnterNoBudgetState();
        Prompter::Error(this, QString::fromStdString(error.what()));
        return false;
    }
}

void TfrmMain::EnterNoBudgetState() {
    FHasBudget = false;
    ClearTrees();
    FCurrentMonth = nullptr;
    ClearAccountCard();
    m_ui->LeftBar->ClearPages();
    HideAllContent();
    ReleaseViewButtons();
    SetBudgetCommandsEnabled(false);
}

bool TfrmMain::SaveBeforeReplacing() {
    if (!FHasBudget || Environment->FileName.empty()) {
        return true;
    }
    try {
        Environment->SaveToFile(Environment->FileName);
        return true;
    } catch (const std::exception& error) {
        Prompter::Error(this, QString::fromStdString(error.what()));
        return false;
    }
}

void TfrmMain::OpenBudget(const std::string& fileName) {
    ClearTrees();
    Environment->Reset();
    Environment->LoadFromFile(fileName);
    LayOutBudget();
}

void TfrmMain::LayOutBudget() {
    BuildLeftBar();
    TranslateUI();
    LeftBarPageChange(0);
}

std::string TfrmMain::LaunchBudget() {
    if (Environment->InitFailed) {
        return {};
    }
    const TQVSettings& settings = Environment->Settings();
    if (settings.AutoOpenLast && !settings.RecentLocations.empty() &&
        !settings.RecentLocations.front().empty() &&
        QFileInfo(ToQ(settings.RecentLocations.front())).isFile()) {
        return QVUtils::WideToAnsi(settings.RecentLocations.front());
    }
    return {};
}

void TfrmMain::NewBudget(const std::string& fileName, const std::u16string& title) {
    ClearTrees();
    Environment->Reset();
    Environment->NewBudget(fileName, title, true);
    BuildLeftBar();
    TranslateUI();
    LeftBarPageChange(0);
}

void TfrmMain::ClearTrees() {
    // The views point at the budget's objects, which a reset frees: they go first.
    for (auto* tree : {m_ui->tvInfo, m_ui->tvDebts, m_ui->tvDict, m_ui->tvSummary}) {
        BindModel(*tree, nullptr);
    }
    FMonthView.reset();
    FDebtsView.reset();
    FDictView.reset();
    FSummaryView.reset();
}

void TfrmMain::BindModel(QTreeView& tree, QAbstractItemModel* model) {
    QItemSelectionModel* previous = tree.selectionModel();
    tree.setModel(model);
    delete previous;
}

// ---- Budget commands

// A failed save is reported here: unwound through the menu's or the shortcut's own code, the
// error would leave that code half done.
void TfrmMain::SaveBudget() {
    try {
        Environment->SaveToFile(Environment->FileName);
    } catch (...) {
        Prompter::Error(this, QVApplication::CurrentExceptionMessage());
    }
}

void TfrmMain::SaveBudgetAs() {
    const QString fileName = Prompter::FileName(
        this, Prompter::FileMode::Save,
        QFileInfo(QString::fromStdString(Environment->FileName)).absolutePath(), {});
    if (fileName.isEmpty()) {
        return;
    }
    try {
        Environment->SaveToFile(fileName.toStdString());
    } catch (...) {
        Prompter::Error(this, QVApplication::CurrentExceptionMessage());
    }
}

void TfrmMain::EditBudgetProperties() {
    TfrmBudgetProps& dialog = TfrmBudgetProps::Instance();
    dialog.Setup(ToQ(Environment->Title), ToQ(Environment->Description),
                 QString::fromStdString(Environment->FileName));
    if (Prompter::Exec(dialog) == QDialog::Accepted) {
        Environment->Title = FromQ(dialog.Title());
        Environment->Description = FromQ(dialog.Description());
    }
}

void TfrmMain::EditProtection() {
    TfrmProtection& dialog = TfrmProtection::Instance();
    dialog.LoadProtection();
    if (Prompter::Exec(dialog) == QDialog::Accepted) {
        Environment->SetProtection(dialog.ProtectionLevel());
    }
}

void TfrmMain::EditSettings() {
    TfrmSettings& dialog = TfrmSettings::Instance();
    TQVSettings& settings = Environment->Settings();
    dialog.LoadFromSettings(settings);
    if (Prompter::Exec(dialog) != QDialog::Accepted) {
        return;
    }
    const std::string previousLanguage = settings.Lang;
    dialog.SaveToSettings(settings);
    if (settings.Lang == previousLanguage) {
        return;
    }
    // The chosen language applies at once: the bar and the captions are built anew in it.
    for (int i = 0; i < Environment->LanguageCount(); ++i) {
        if (Environment->GetLanguage(i)->Id == settings.Lang) {
            Environment->CurrentLanguage = Environment->GetLanguage(i);
        }
    }
    if (FHasBudget) {
        const int page = m_ui->LeftBar->ActivePageIndex();
        BuildLeftBar();
        TranslateUI();
        LeftBarPageChange(0);
        if (page != 0) {
            m_ui->LeftBar->SetActivePageIndex(page);
        }
    } else {
        TranslateUI();
    }
}

void TfrmMain::ShowHelp() {
    const QString path =
        QString::fromStdString(QVBase::GetProgramDataFolder()) + QStringLiteral("help/index.html");
    int error = 0;
    if (::access(path.toLocal8Bit().constData(), R_OK) != 0) {
        error = errno;
    } else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
        // No program would open the page.
        error = ENOEXEC;
    }
    if (error != 0) {
        Prompter::Error(this, QStringLiteral("Failed to launch help file (error %1)").arg(error));
    }
}

void TfrmMain::ShowAbout() {
    Prompter::Exec(TfrmAbout::Instance());
}
