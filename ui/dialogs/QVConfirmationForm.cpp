#include "ui/dialogs/QVConfirmationForm.h"

#include "ui/Prompter.h"
#include "ui/dialogs/SharedDialog.h"
#include "ui_QVConfirmationForm.h"

TfrmConfirmation::TfrmConfirmation(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmConfirmation>()) {
    m_ui->setupUi(this);
    connect(m_ui->btnYes, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->btnNo, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmConfirmation::~TfrmConfirmation() = default;

TfrmConfirmation& TfrmConfirmation::Instance() {
    return SharedDialog<TfrmConfirmation>();
}

bool TfrmConfirmation::Confirm(const QString& prompt) {
    TfrmConfirmation& dialog = Instance();
    dialog.m_ui->lblPrompt->setText(prompt);
    return Prompter::Exec(dialog) == QDialog::Accepted;
}
