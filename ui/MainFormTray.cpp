// The program's life in the notification area: the tray icon and its menu, hiding the window
// there, the autostart hiding, and quick entry of flows, debts and loans.
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"
#include "storage/QVBase.h"
#include "ui/MainForm.h"
#include "ui/Prompter.h"
#include "ui/dialogs/TrayPopupForm.h"
#include "ui/widgets/OutlookBar.h"
#include "ui_MainForm.h"

namespace {

enum { kCashflowPage = 0, kDebtsPage = 2 };

} // namespace

void TfrmMain::ConnectTray() {
    HidingTimer = new QTimer(this);
    HidingTimer->setObjectName(QStringLiteral("HidingTimer"));
    HidingTimer->setSingleShot(true);
    HidingTimer->setInterval(1000);
    connect(HidingTimer, &QTimer::timeout, this, &TfrmMain::HidingTimerTimer);

    // The tray menu keeps its English captions whatever the language.
    const TImageList& images = QVImages::TrayMenu();
    mnuTray = new QMenu(this);
    mnuTray->setObjectName(QStringLiteral("mnuTray"));
    mnuTray->addAction(QStringLiteral("Restore"), this, &TfrmMain::RestoreFromTray);
    mnuTray->addSeparator();
    // The quick entries need a budget to write into: they are off until one opens, and the
    // budget commands switch them with the others.
    mnuTrayEntries = new QActionGroup(mnuTray);
    mnuTrayEntries->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
    const auto addEntry = [this](const QIcon& icon, const QString& caption, TTrayEntryMode mode) {
        mnuTrayEntries->addAction(
            mnuTray->addAction(icon, caption, this, [this, mode] { QuickEntry(mode); }));
    };
    addEntry(images.Icon(3), QStringLiteral("Add Expense"), TTrayEntryMode::Expense);
    addEntry(images.Icon(1), QStringLiteral("Add Income"), TTrayEntryMode::Income);
    addEntry(images.Icon(2), QStringLiteral("Add Account-to-Account"), TTrayEntryMode::Transfer);
    mnuTray->addSeparator();
    addEntry({}, QStringLiteral("Add Debt"), TTrayEntryMode::Debt);
    addEntry({}, QStringLiteral("Add Loan"), TTrayEntryMode::Loan);
    mnuTray->addSeparator();
    mnuTray->addAction(images.Icon(4), QStringLiteral("Exit"), this, &TfrmMain::ExitApplication);
    mnuTrayEntries->setEnabled(false);

    TrayIcon = new QSystemTrayIcon(QVImages::Tray().Icon(0), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setToolTip(QStringLiteral("Tavrin Quillvane"));
    TrayIcon->setContextMenu(mnuTray);
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    DoTrayDblClick();
                }
            });
}

bool TfrmMain::TrayUsable() const {
    // Hiding without an icon to come back through would lose the window.
    return TrayIcon != nullptr && TrayIcon->isVisible() && SystemTrayAvailable();
}

void TfrmMain::WMSysCommand(TSysCommand command) {
    const TQVSettings& settings = Environment->Settings();
    switch (command) {
    case TSysCommand::Minimize:
        if (settings.HideOnMinimize && TrayUsable()) {
            HideToTray();
        } else {
            showMinimized();
        }
        break;
    case TSysCommand::Close:
        if (settings.HideOnClose && TrayUsable()) {
            HideToTray();
        } else {
            close();
        }
        break;
    }
}

void TfrmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The window manager minimised the window (its button, a key): hide it instead when asked.
    if (event->type() == QEvent::WindowStateChange && isMinimized() &&
        Environment->Settings().HideOnMinimize && TrayUsable()) {
        QTimer::singleShot(0, this, &TfrmMain::HideToTray);
    }
}

void TfrmMain::StartHidingTimer() {
    HidingTimer->start();
}

void TfrmMain::StopHidingTimer() {
    HidingTimer->stop();
}

void TfrmMain::HidingTimerTimer() {
    StopHidingTimer();
    WMSysCommand(TSysCommand::Minimize);
}

void TfrmMain::HideToTray() {
    hide();
}

void TfrmMain::RestoreFromTray() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TfrmMain::DoTrayDblClick() {
    // Without a budget there is nothing to enter into; the double-click then brings back the
    // window, where one can be opened.
    switch (FHasBudget ? Environment->Settings().TrayDblClick : 0) {
    case 0:
        RestoreFromTray();
        break;
    case 1:
        QuickEntry(TTrayEntryMode::Expense);
        break;
    case 2:
        QuickEntry(TTrayEntryMode::Income);
        break;
    default:
        break;
    }
}

// ---- Quick entry

void TfrmMain::QuickEntry(TTrayEntryMode mode) {
    if (!FHasBudget) {
        return;
    }
    TfrmTrayPopup& dialog = TfrmTrayPopup::Instance();
    dialog.SetMode(mode);
    if (Prompter::Exec(dialog) != QDialog::Accepted) {
        return;
    }
    switch (mode) {
    case TTrayEntryMode::Income:
    case TTrayEntryMode::Expense:
        AddQuickFlow(dialog, mode == TTrayEntryMode::Income);
        break;
    case TTrayEntryMode::Transfer:
        AddQuickTransfer(dialog);
        break;
    case TTrayEntryMode::Debt:
    case TTrayEntryMode::Loan:
        AddQuickDebt(dialog, mode == TTrayEntryMode::Loan);
        break;
    }
}

TQVMonth& TfrmMain::MonthOfToday() {
    // Confirmed input is never dropped: a month of today that the budget lacks (the program ran
    // into a new month) is made, in its place among the months, newest first.
    Environment->EnsureCurrentMonth();
    return *Environment->GetMonth(Environment->IndexOfCurrentMonth());
}

void TfrmMain::ShowMonthOfTodayIfShowing(TQVMonth& month) {
    // A month made for the entry gets its button now that it holds a flow.
    RefreshMonthButtons();
    TOutlookBar& bar = *m_ui->LeftBar;
    if (bar.PageCount() == 0 || bar.ActivePageIndex() != kCashflowPage) {
        return;
    }
    ShowMonth(&month);
    // The bar marks the month that now shows, not the one (or the list of all) that showed.
    TOutlookBarPage& page = bar.Page(kCashflowPage);
    for (int i = 0; i < page.ButtonCount(); ++i) {
        if (page.Button(i).Tag == reinterpret_cast<std::intptr_t>(&month)) {
            page.SetDown(i);
            break;
        }
    }
}

void TfrmMain::AddQuickFlow(const TfrmTrayPopup& dialog, bool income) {
    TQVMonth& month = MonthOfToday();
    TQVMoneyFlow& flow = *month.GetFlow(income ? month.AddIncome() : month.AddExpense());
    flow.Date = QVUtils::Now();
    flow.Sum = dialog.Sum();
    flow.Name = dialog.Title();

    // A name typed in place of a listed one makes that account or category; an empty box leaves
    // the flow without one.
    TQVSource* source = dialog.Source();
    if (source == nullptr && !dialog.SourceText().empty()) {
        source = Environment->GetSource(Environment->AddSource());
        source->Name = dialog.SourceText();
        source->Id = QVBase::CreateGUIDString();
        source->Icon = 0;
        AddAccountButton(source);
    }
    TQVLocation* location = dialog.Location();
    if (location == nullptr && !dialog.LocationText().empty()) {
        location = income ? Environment->GetIncomeLocation(Environment->AddIncomeLocation())
                          : Environment->GetExpenseLocation(Environment->AddExpenseLocation());
        location->Name = dialog.LocationText();
        location->Id = QVBase::CreateGUIDString();
    }
    if (income) {
        static_cast<TQVIncomeItem&>(flow).Source = source;
        static_cast<TQVIncomeItem&>(flow).Location = location;
    } else {
        static_cast<TQVExpenseItem&>(flow).Source = source;
        static_cast<TQVExpenseItem&>(flow).Location = location;
    }
    month.Sort();
    ShowMonthOfTodayIfShowing(month);
}

void TfrmMain::AddQuickTransfer(const TfrmTrayPopup& dialog) {
    if (dialog.FromSource() == nullptr || dialog.ToSource() == nullptr) {
        return;
    }
    TQVMonth& month = MonthOfToday();
    auto& transfer = static_cast<TQVA2AItem&>(*month.GetFlow(month.AddA2A()));
    transfer.Date = QVUtils::Now();
    transfer.Sum = dialog.Sum();
    transfer.Source = dialog.FromSource();
    transfer.Destination = dialog.ToSource();
    month.Sort();
    ShowMonthOfTodayIfShowing(month);
}

void TfrmMain::AddQuickDebt(const TfrmTrayPopup& dialog, bool loan) {
    TQVMoneyFlow& item =
        loan ? static_cast<TQVMoneyFlow&>(*Environment->GetCredit(Environment->AddCredit()))
             : *Environment->GetDebt(Environment->AddDebt());
    item.Sum = dialog.Sum();
    item.Name = dialog.Title();
    item.PeerName = dialog.PeerName();
    // A list that shows takes the new item at once.
    TOutlookBar& bar = *m_ui->LeftBar;
    if (bar.PageCount() > kDebtsPage && bar.ActivePageIndex() == kDebtsPage &&
        (bar.Page(kDebtsPage).DownIndex() == 1) == loan) {
        if (loan) {
            ShowCredits();
        } else {
            ShowDebts();
        }
    }
}
