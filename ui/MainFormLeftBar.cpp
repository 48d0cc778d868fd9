// The navigation bar: its pages built from the budget, the page layout of the content area, button
// clicks, the page switchers of the menus and toolbar, and the captions of the current language.
#include <algorithm>
#include <set>

#include <QToolButton>

#include "model/QVEnvironment.h"
#include "storage/QVBase.h"
#include "ui/MainForm.h"
#include "ui/QVDebtsView.h"
#include "ui/QVMonthView.h"
#include "ui/QVSummaryView.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/QVStringRequestForm.h"
#include "ui_MainForm.h"

using QVUIUtils::Lang;

namespace {

enum { kCashflowPage, kAccountsPage, kDebtsPage, kPersonalisationPage, kSummaryPage };

std::intptr_t TagOf(const void* object) {
    return reinterpret_cast<std::intptr_t>(object);
}

template <class T> T* ObjectOf(std::intptr_t tag) {
    return reinterpret_cast<T*>(tag);
}

} // namespace

void TfrmMain::BuildLeftBar() {
    TOutlookBar& bar = *m_ui->LeftBar;
    // The accounts the card may show belong to the budget that is gone.
    ClearAccountCard();
    bar.BeginUpdate();
    bar.ClearPages();
    if (Environment->MonthCount() == 0) {
        bar.EndUpdate();
        throw EAssertionFailed("Assertion failure: a budget without months");
    }
    const QColor windowColour = palette().color(QPalette::Base);

    TOutlookBarPage& cashflow = bar.AddPage();
    cashflow.SetCaption(Lang(u"LEFTBAR_CASHFLOW"));
    cashflow.SetFontColor(windowColour);
    FillMonthButtons();

    TOutlookBarPage& accounts = bar.AddPage();
    accounts.SetCaption(Lang(u"LEFTBAR_ACCOUNTS"));
    accounts.SetFontColor(windowColour);
    BuildAccountsPage();

    TOutlookBarPage& debts = bar.AddPage();
    debts.SetCaption(QStringLiteral("Debts and Loans"));
    debts.AddButton().Caption = Lang(u"LEFTBAR_DEBTS_DEBTS");
    debts.AddButton().Caption = Lang(u"LEFTBAR_DEBTS_CREDITS");
    debts.SetFontColor(windowColour);

    TOutlookBarPage& personalisation = bar.AddPage();
    personalisation.SetCaption(Lang(u"LEFTBAR_PERSONALISATION"));
    personalisation.SetFontColor(windowColour);
    personalisation.AddButton().Caption = Lang(u"LEFTBAR_EXPENSE_CATS");
    personalisation.AddButton().Caption = Lang(u"LEFTBAR_INCOME_CATS");

    bar.AddPage().SetCaption(Lang(u"LEFTBAR_SUMMARY"));
    bar.EndUpdate();
}

// The month buttons of page 0: the newest month under its own caption, the others by name and
// year, then all months.
void TfrmMain::FillMonthButtons() {
    TOutlookBarPage& page = m_ui->LeftBar->Page(kCashflowPage);
    page.ClearButtons();
    TOutlookBarButton& current = page.AddButton();
    current.Caption = Lang(u"LEFTBAR_CURRENT_MONTH");
    current.Tag = TagOf(Environment->GetMonth(0));
    for (int i = 1; i < Environment->MonthCount(); ++i) {
        TQVMonth* month = Environment->GetMonth(i);
        TOutlookBarButton& button = page.AddButton();
        button.Caption = QVUIUtils::GetMonthCaption(true, month->Date);
        button.Tag = TagOf(month);
    }
    page.AddButton().Caption = Lang(u"LEFTBAR_ALL_MONTHS");
}

void TfrmMain::BuildAccountsPage() {
    TOutlookBarPage& page = m_ui->LeftBar->Page(kAccountsPage);
    page.ClearButtons();
    // Every build appends a fresh copy of the account icons; the button images index into it.
    FAccountIconBase = imgLeftBarButtons.Count();
    imgLeftBarButtons.AddAll(*FSourceIcons);
    const int newAccountImage = imgLeftBarButtons.Add(QVImages::PredefinedLeftBarIcons().Icon(0));
    for (int i = 0; i < Environment->SourceCount(); ++i) {
        TQVSource* source = Environment->GetSource(i);
        TOutlookBarButton& button = page.AddButton();
        button.Caption = QVUIUtils::ToQ(source->Name);
        button.Tag = TagOf(source);
        button.ImageIndex = FAccountIconBase + source->Icon;
    }
    TOutlookBarButton& add = page.AddButton();
    add.Caption = Lang(u"BTN_NEW_ACCOUNT");
    add.ImageIndex = newAccountImage;
    page.Changed();
}

void TfrmMain::HideAllContent() {
    QWidget* const content[] = {m_ui->tvInfo,   m_ui->pDebts,          m_ui->pAccountInfo,
                                m_ui->pTop,     m_ui->pCashflowBottom, m_ui->pDict,
                                m_ui->pSummary, m_ui->pBottomCashflow};
    for (QWidget* widget : content) {
        widget->hide();
    }
}

void TfrmMain::ApplyMonthButtonImages() {
    TOutlookBarPage& page = m_ui->LeftBar->Page(kCashflowPage);
    for (int i = 0; i < page.ButtonCount(); ++i) {
        TOutlookBarButton& button = page.Button(i);
        const TQVMonth* month = ObjectOf<TQVMonth>(button.Tag);
        button.ImageIndex =
            month && month->Date != 0 ? QVUtils::DecodeDate(month->Date).Month - 1 : 12;
    }
    page.Changed();
}

void TfrmMain::LeftBarPageChange(int pageIndex) {
    // The bar is laid out once, when the page is.
    const TOutlookBar::TUpdateGuard update(*m_ui->LeftBar);
    HideAllContent();
    ReleaseViewButtons();
    if (pageIndex < kCashflowPage || pageIndex > kSummaryPage ||
        pageIndex >= m_ui->LeftBar->PageCount()) {
        return;
    }
    m_ui->pBottom->show();
    QWidget* content = nullptr;
    switch (pageIndex) {
    case kCashflowPage:
        content = m_ui->tvInfo;
        break;
    case kDebtsPage:
        content = m_ui->pDebts;
        break;
    case kPersonalisationPage:
        content = m_ui->pDict;
        break;
    case kSummaryPage:
        content = m_ui->pSummary;
        break;
    default:
        break;
    }
    if (content) {
        m_ui->pCashflowBottom->show();
        m_ui->pTop->show();
        content->show();
    } else {
        m_ui->pAccountInfo->show();
    }
    ViewButton(pageIndex)->setChecked(true);

    TOutlookBar& bar = *m_ui->LeftBar;
    TOutlookBarPage& page = bar.Page(pageIndex);
    switch (pageIndex) {
    case kCashflowPage:
        bar.SetLargeImages(FMonthIcons);
        ApplyMonthButtonImages();
        break;
    case kAccountsPage:
        bar.SetLargeImages(&imgLeftBarButtons);
        break;
    case kDebtsPage:
        bar.SetLargeImages(&QVImages::DebtsLoans());
        page.Button(0).ImageIndex = 1;
        page.Button(1).ImageIndex = 0;
        page.Changed();
        break;
    case kPersonalisationPage:
        bar.SetLargeImages(&QVImages::PersonalisationImg());
        page.Button(0).ImageIndex = 0;
        page.Button(1).ImageIndex = 1;
        page.Changed();
        break;
    default:
        break;
    }

    if (pageIndex == kSummaryPage) {
        // Every visit computes the summary afresh.
        SetHeader(Lang(u"HEADER_SUMMARY"), {});
        SetHeaderPicture(QVImages::OtherHeaderIcons(), 0);
        BindModel(*m_ui->tvSummary, nullptr);
        FSummaryView = std::make_unique<TQVSummaryView>(*Environment);
        BindModel(*m_ui->tvSummary, FSummaryView.get());
        m_ui->tvSummary->setColumnWidth(0, 350);
        return;
    }
    // The page shows the view of its pressed button; the first time, of its first button.
    const int down = page.DownIndex();
    if (down >= 0) {
        LeftBarButtonClick(down);
    } else if (page.ButtonCount() > 0) {
        page.SetDown(0);
        LeftBarButtonClick(0);
    }
}

void TfrmMain::LeftBarButtonClick(int index) {
    TOutlookBar& bar = *m_ui->LeftBar;
    if (bar.PageCount() == 0) {
        return;
    }
    TOutlookBarPage& page = bar.Page(bar.ActivePageIndex());
    if (index < 0 || index >= page.ButtonCount()) {
        return;
    }
    const std::intptr_t tag = page.Button(index).Tag;
    switch (bar.ActivePageIndex()) {
    case kCashflowPage:
        if (tag == 0) {
            Environment->RebuildAllFlows();
            ShowMonth(&Environment->AllFlows());
        } else {
            ShowMonth(ObjectOf<TQVMonth>(tag));
        }
        page.SetDown(index);
        break;
    case kAccountsPage:
        if (tag != 0) {
            ShowAccount(ObjectOf<TQVSource>(tag));
            page.SetDown(index);
            break;
        } else {
            QString name;
            TfrmStringRequest::RequestString(
                QStringLiteral("Please provide a name for the new account:"), name);
            if (name.isEmpty()) {
                break;
            }
            TQVSource* source = Environment->GetSource(Environment->AddSource());
            source->Name = QVUIUtils::FromQ(name);
            source->Id = QVBase::CreateGUIDString();
            source->Icon = 0;
            // The card and the pressed button stay as they were.
            AddAccountButton(source);
        }
        break;
    case kDebtsPage:
        if (index == 0) {
            ShowDebts();
        } else {
            ShowCredits();
        }
        page.SetDown(index);
        break;
    case kPersonalisationPage:
        if (index == 0) {
            ShowExpenseCategories();
        } else {
            ShowIncomeCategories();
        }
        page.SetDown(index);
        break;
    default:
        break;
    }
}

void TfrmMain::AddAccountButton(TQVSource* account) {
    if (m_ui->LeftBar->PageCount() <= kAccountsPage) {
        return;
    }
    TOutlookBarPage& page = m_ui->LeftBar->Page(kAccountsPage);
    const int newAccountButton = page.ButtonCount() - 1;
    TOutlookBarButton& button = page.InsertButton(std::max(newAccountButton, 0));
    button.Caption = QVUIUtils::ToQ(account->Name);
    button.Tag = TagOf(account);
    button.ImageIndex = FAccountIconBase + account->Icon;
    page.Changed();
}

void TfrmMain::RefreshMonthButtons() {
    TOutlookBarPage& page = m_ui->LeftBar->Page(kCashflowPage);
    std::set<std::intptr_t> shown;
    for (int i = 0; i + 1 < page.ButtonCount(); ++i) {
        shown.insert(page.Button(i).Tag);
    }
    bool missing = false;
    for (int i = 0; i < Environment->MonthCount() && !missing; ++i) {
        const TQVMonth* month = Environment->GetMonth(i);
        missing = !shown.contains(TagOf(month)) &&
                  (month->Count() > 0 || Environment->Settings().ShowEmptyMonths);
    }
    if (!missing) {
        return;
    }
    const int down = page.DownIndex();
    const std::intptr_t pressed = down >= 0 ? page.Button(down).Tag : 0;
    m_ui->LeftBar->BeginUpdate();
    FillMonthButtons();
    ApplyMonthButtonImages();
    for (int i = 0; i < page.ButtonCount(); ++i) {
        if (page.Button(i).Tag == pressed) {
            page.SetDown(i);
            break;
        }
    }
    m_ui->LeftBar->EndUpdate();
}

QToolButton* TfrmMain::ViewButton(int page) const {
    QToolButton* const buttons[] = {btnViewCashflow, btnViewAccounts, btnViewDebts,
                                    btnViewPersonalisation, btnViewSummary};
    return buttons[page];
}

void TfrmMain::ShowCashflowPage() {
    btnViewCashflow->setChecked(true);
    m_ui->LeftBar->SetActivePageIndex(kCashflowPage);
}

void TfrmMain::ShowAccountsPage() {
    m_ui->LeftBar->SetActivePageIndex(kAccountsPage);
    btnViewAccounts->setChecked(true);
}

void TfrmMain::ShowDebtsPage() {
    m_ui->LeftBar->SetActivePageIndex(kDebtsPage);
    btnViewDebts->setChecked(true);
}

void TfrmMain::ShowPersonalisationPage() {
    m_ui->LeftBar->SetActivePageIndex(kPersonalisationPage);
    btnViewPersonalisation->setChecked(true);
}

void TfrmMain::ShowSummaryPage() {
    m_ui->LeftBar->SetActivePageIndex(kSummaryPage);
    btnViewSummary->setChecked(true);
}

void TfrmMain::ReleaseViewButtons() {
    for (int page = kCashflowPage; page <= kSummaryPage; ++page) {
        ViewButton(page)->setChecked(false);
    }
}

void TfrmMain::TranslateUI() {
    m_ui->mnuFile->setTitle(Lang(u"MNU_FILE"));
    m_ui->actNew->setText(Lang(u"MNU_NEW_BUDGET"));
    m_ui->actOpen->setText(Lang(u"MNU_OPEN"));
    m_ui->actSave->setText(QStringLiteral("Save"));
    m_ui->actSaveAs->setText(QStringLiteral("Save As..."));
    m_ui->actProperties->setText(QStringLiteral("Properties..."));
    m_ui->actExit->setText(Lang(u"MNU_EXIT"));
    m_ui->mnuEdit->setTitle(Lang(u"MNU_EDIT"));
    m_ui->actNewExpense->setText(Lang(u"MNU_NEW_EXPENSE"));
    m_ui->actNewIncome->setText(Lang(u"MNU_NEW_INCOME"));
    m_ui->actA2A->setText(Lang(u"MNU_NEW_A2A"));
    m_ui->actNewDebt->setText(Lang(u"MNU_NEW_DEBT"));
    m_ui->actNewCredit->setText(Lang(u"MNU_NEW_CREDIT"));
    m_ui->actNewAccount->setText(Lang(u"MNU_NEW_ACCOUNT"));
    m_ui->mnuView->setTitle(Lang(u"MNU_VIEW"));
    m_ui->actCashflow->setText(Lang(u"MNU_CASHFLOW"));
    m_ui->actAccounts->setText(Lang(u"MNU_ACCOUNTS"));
    m_ui->actDebts->setText(Lang(u"MNU_DEBTS"));
    m_ui->actPersonalisation->setText(Lang(u"MNU_PERSONALISATION"));
    m_ui->actReports->setText(Lang(u"MNU_REPORTS"));
    m_ui->actSettings->setText(Lang(u"MNU_SETTINGS"));
    m_ui->mnuHelp->setTitle(Lang(u"MNU_HELP"));
    m_ui->actHelpContents->setText(Lang(u"MNU_CONTENTS"));
    m_ui->actAbout->setText(Lang(u"MNU_ABOUT"));
    // Column titles come from the grids' models, which read the current language; a model that
    // exists now is told to show them again.
    for (auto* tree : {m_ui->tvInfo, m_ui->tvDebts, m_ui->tvDict, m_ui->tvSummary}) {
        if (QAbstractItemModel* model = tree->model()) {
            emit model->headerDataChanged(Qt::Horizontal, 0, model->columnCount() - 1);
        }
    }
}
