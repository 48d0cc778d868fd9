#include "ui/dialogs/TrayPopupForm.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "model/QVEnvironment.h"
#include "platform/Exception.h"
#include "platform/WideStringList.h"
#include "ui/Prompter.h"
#include "ui/QVImages.h"
#include "ui/QVUIUtils.h"
#include "ui_TrayPopupForm.h"

namespace {

constexpr int IconSize = 64;
// The dialog stands this far above the bottom of the screen, clear of a panel along it.
constexpr int BottomGap = 30;

bool IsFlow(TTrayEntryMode mode) {
    return mode == TTrayEntryMode::Income || mode == TTrayEntryMode::Expense;
}

bool IsDebt(TTrayEntryMode mode) {
    return mode == TTrayEntryMode::Debt || mode == TTrayEntryMode::Loan;
}

void Fill(QComboBox& box, const TWideStringList& list) {
    for (int i = 0; i < list.Count(); ++i) {
        box.addItem(QVUIUtils::ShownName(list.Strings(i)), QVariant::fromValue(list.Objects(i)));
    }
}

// The first item whose account is the default one, or -1.
int DefaultSourceIndex(const QComboBox& box) {
    for (int i = 0; i < box.count(); ++i) {
        const auto* source = static_cast<const TQVSource*>(box.itemData(i).value<void*>());
        if (source != nullptr && source->IsDefault) {
            return i;
        }
    }
    return -1;
}

} // namespace

TfrmTrayPopup::TfrmTrayPopup(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmTrayPopup>()) {
    m_ui->setupUi(this);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &TfrmTrayPopup::OkClicked);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmTrayPopup::~TfrmTrayPopup() = default;

TfrmTrayPopup& TfrmTrayPopup::Instance() {
    // Kept for the whole run like the other dialogs (so the transfer sum carries over), but not
    // centred on the active window: it places itself by the tray.
    static TfrmTrayPopup* const instance = new TfrmTrayPopup(nullptr);
    return *instance;
}

void TfrmTrayPopup::SetMode(TTrayEntryMode mode) {
    if (mode == TTrayEntryMode::Income) {
        m_ui->lblMoneyFlow->setText(QStringLiteral("Income:"));
    } else if (mode == TTrayEntryMode::Expense) {
        m_ui->lblMoneyFlow->setText(QStringLiteral("Expense:"));
    }
    FMode = mode;
    Place();
}

void TfrmTrayPopup::Place() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    // The frame is known only once the window has been shown; until then the client size stands
    // for it.
    const QSize frame = frameGeometry().size() - geometry().size() + sizeHint();
    // Wholly on the screen, also where it is too small for the gap below.
    move(std::max(area.x(), area.x() + area.width() - frame.width() - 1),
         std::max(area.y(), area.y() + area.height() - frame.height() - BottomGap));
}

void TfrmTrayPopup::FillControls() {
    m_ui->cbLocations->clear();
    m_ui->cbLocations->clearEditText();
    m_ui->cbSources->clear();
    m_ui->cbSources->clearEditText();

    if (IsDebt(FMode)) {
        m_ui->editDebtTitle->clear();
        m_ui->editDebtSum->setText(ZeroSum());
        m_ui->editDebtPerson->clear();
        m_ui->imgIconDebt->setPixmap(QVImages::DebtsLoans()
                                         .Icon(FMode == TTrayEntryMode::Debt ? 1 : 0)
                                         .pixmap(IconSize, IconSize));
        m_ui->pAddExpense->setCurrentWidget(m_ui->pageDebt);
        return;
    }

    TWideStringList list;
    if (IsFlow(FMode)) {
        const bool income = FMode == TTrayEntryMode::Income;
        if (income) {
            Environment->FillIncomeLocations(list, true);
        } else {
            Environment->FillExpenseLocations(list, true);
        }
        Fill(*m_ui->cbLocations, list);
        m_ui->cbLocations->setCurrentIndex(-1);

        Environment->FillSources(list, income, !income);
        Fill(*m_ui->cbSources, list);
        m_ui->cbSources->setCurrentIndex(DefaultSourceIndex(*m_ui->cbSources));

        m_ui->editMoneyFlow->clear();
        m_ui->editSum->setText(ZeroSum());
        m_ui->imgIcon->setPixmap(
            QVImages::Toolbar().Icon(income ? 0 : 1).pixmap(IconSize, IconSize));
        m_ui->pAddExpense->setCurrentWidget(m_ui->pageIncome);
        return;
    }

    m_ui->cbA2ASources->clear();
    m_ui->cbA2ADestSources->clear();
    Environment->FillSources(list, false, false);
    Fill(*m_ui->cbA2ASources, list);
    Fill(*m_ui->cbA2ADestSources, list);
    const int first = DefaultSourceIndex(*m_ui->cbA2ASources);
    m_ui->cbA2ASources->setCurrentIndex(first);
    m_ui->cbA2ADestSources->setCurrentIndex(first);
    if (!FTransferShown) {
        m_ui->editA2ASum->setText(ZeroSum());
        FTransferShown = true;
    }
    m_ui->imgIconA2A->setPixmap(QVImages::TrayMenu().Icon(2).pixmap(IconSize, IconSize));
    m_ui->pAddExpense->setCurrentWidget(m_ui->pageA2A);
}

void TfrmTrayPopup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    FillControls();
    if (IsFlow(FMode)) {
        m_ui->editMoneyFlow->setFocus();
    } else if (FMode == TTrayEntryMode::Transfer) {
        // The sum carried over from the last transfer is usually replaced.
        m_ui->editA2ASum->selectAll();
        m_ui->editA2ASum->setFocus();
    } else {
        m_ui->editDebtTitle->setFocus();
    }
}

bool TfrmTrayPopup::ValidateSum(const QString& text) {
    try {
        QVUIUtils::ParseMoney(text, NumberLocale());
        return true;
    } catch (const Exception&) {
        Prompter::Error(
            this,
            QStringLiteral("\"%1\" is not a valid currency value.").arg(QVUIUtils::Quote(text)));
        return false;
    }
}

void TfrmTrayPopup::OkClicked() {
    if (FMode == TTrayEntryMode::Transfer &&
        (m_ui->cbA2ASources->currentIndex() < 0 || m_ui->cbA2ADestSources->currentIndex() < 0)) {
        Prompter::Error(this, QStringLiteral("Please select both input and output accounts"));
        return;
    }
    QLineEdit* sum = SumEdit();
    if (!ValidateSum(sum->text())) {
        sum->setFocus();
        return;
    }
    accept();
}

QLocale TfrmTrayPopup::NumberLocale() const {
    return testAttribute(Qt::WA_SetLocale) ? locale() : QLocale::system();
}

QString TfrmTrayPopup::ZeroSum() const {
    return QVUIUtils::FormatMoney(0.0L, 12, NumberLocale());
}

QLineEdit* TfrmTrayPopup::SumEdit() const {
    if (IsFlow(FMode)) {
        return m_ui->editSum;
    }
    return FMode == TTrayEntryMode::Transfer ? m_ui->editA2ASum : m_ui->editDebtSum;
}

long double TfrmTrayPopup::Sum() const {
    try {
        return QVUIUtils::ParseMoney(SumEdit()->text(), NumberLocale());
    } catch (const Exception&) {
        return 0.0L;
    }
}

std::u16string TfrmTrayPopup::Title() const {
    if (IsFlow(FMode)) {
        return QVUIUtils::FromQ(m_ui->editMoneyFlow->text());
    }
    return IsDebt(FMode) ? QVUIUtils::FromQ(m_ui->editDebtTitle->text()) : std::u16string();
}

std::u16string TfrmTrayPopup::PeerName() const {
    return IsDebt(FMode) ? QVUIUtils::FromQ(m_ui->editDebtPerson->text()) : std::u16string();
}

void* TfrmTrayPopup::Picked(const QComboBox& box) {
    // The cell editors pick the same way, so a name typed here never makes a second account or
    // category beside one that differs only in case.
    const int index = QVUIUtils::MatchingEntry(box, box.currentText());
    return index < 0 ? nullptr : box.itemData(index).value<void*>();
}

TQVLocation* TfrmTrayPopup::Location() const {
    return IsFlow(FMode) ? static_cast<TQVLocation*>(Picked(*m_ui->cbLocations)) : nullptr;
}

std::u16string TfrmTrayPopup::LocationText() const {
    return IsFlow(FMode) ? QVUIUtils::FromQ(m_ui->cbLocations->currentText()) : std::u16string();
}

TQVSource* TfrmTrayPopup::Source() const {
    return IsFlow(FMode) ? static_cast<TQVSource*>(Picked(*m_ui->cbSources)) : nullptr;
}

std::u16string TfrmTrayPopup::SourceText() const {
    return IsFlow(FMode) ? QVUIUtils::FromQ(m_ui->cbSources->currentText()) : std::u16string();
}

TQVSource* TfrmTrayPopup::FromSource() const {
    return FMode == TTrayEntryMode::Transfer
               ? static_cast<TQVSource*>(m_ui->cbA2ASources->currentData().value<void*>())
               : nullptr;
}

TQVSource* TfrmTrayPopup::ToSource() const {
    return FMode == TTrayEntryMode::Transfer
               ? static_cast<TQVSource*>(m_ui->cbA2ADestSources->currentData().value<void*>())
               : nullptr;
}
