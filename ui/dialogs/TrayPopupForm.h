#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QDialog>
#include <QLocale>
#include <QString>

namespace Ui {
class TfrmTrayPopup;
}
class QComboBox;
class QLineEdit;
class TQVLocation;
class TQVSource;

// What the quick-entry dialog adds.
enum class TTrayEntryMode : std::uint8_t {
    Income = 0,
    Expense = 1,
    Transfer = 2,
    Debt = 3,
    Loan = 4
};

// Quick entry from the tray: one small dialog that asks for an income, an expense, a transfer, a
// debt or a loan. It only collects the input; after OK the caller reads it through the accessors
// and writes the model itself. The pick lists refer to model objects only for one run.
class TfrmTrayPopup : public QDialog {
    Q_OBJECT

public:
    explicit TfrmTrayPopup(QWidget* parent = nullptr);
    ~TfrmTrayPopup() override;

    static TfrmTrayPopup& Instance();

    // Sets the mode and places the dialog at the bottom right of the primary screen; call before
    // every run. The controls are filled from the model when the dialog shows.
    void SetMode(TTrayEntryMode mode);
    TTrayEntryMode Mode() const { return FMode; }

    // Empties and refills the controls of the mode from the global Environment. The transfer sum
    // keeps what the previous transfer entry held.
    void FillControls();

    // True when `text` reads as an amount in the dialog's locale; otherwise shows why and gives
    // false.
    bool ValidateSum(const QString& text);

    // ---- The input, for the caller after OK.

    // The amount of the mode's sum field; 0 when it does not read (never after OK).
    long double Sum() const;
    // The title of an income, expense, debt or loan (empty for a transfer).
    std::u16string Title() const;
    // The counterparty of a debt or loan (empty otherwise).
    std::u16string PeerName() const;

    // Income and expense: the category and account picked in their boxes, or null when the
    // text of the box names no listed item. A typed name that matches an item, ignoring case,
    // counts as picking it. With null, the *Text accessor gives the text as typed (possibly empty).
    TQVLocation* Location() const;
    std::u16string LocationText() const;
    TQVSource* Source() const;
    std::u16string SourceText() const;

    // Transfer: the accounts the money leaves and reaches; null when none is selected. Both may
    // be the same account.
    TQVSource* FromSource() const;
    TQVSource* ToSource() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OkClicked();
    void Place();
    // The locale amounts are read and shown in: the system's, unless one was set on the dialog.
    QLocale NumberLocale() const;
    QString ZeroSum() const;
    QLineEdit* SumEdit() const;
    static void* Picked(const QComboBox& box);

    std::unique_ptr<Ui::TfrmTrayPopup> m_ui;
    TTrayEntryMode FMode = TTrayEntryMode::Expense;
    bool FTransferShown = false;
};
