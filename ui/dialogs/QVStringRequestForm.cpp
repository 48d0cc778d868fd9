#include "ui/dialogs/QVStringRequestForm.h"

#include <QShowEvent>

#include "ui/Prompter.h"
#include "ui/dialogs/SharedDialog.h"
#include "ui_QVStringRequestForm.h"

TfrmStringRequest::TfrmStringRequest(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmStringRequest>()) {
    m_ui->setupUi(this);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmStringRequest::~TfrmStringRequest() = default;

TfrmStringRequest& TfrmStringRequest::Instance() {
    return SharedDialog<TfrmStringRequest>();
}

bool TfrmStringRequest::RequestString(const QString& prompt, QString& value) {
    TfrmStringRequest& dialog = Instance();
    dialog.m_ui->editString->clear();
    dialog.m_ui->lblPrompt->setText(prompt);
    const bool accepted = Prompter::Exec(dialog) == QDialog::Accepted;
    value = accepted ? dialog.m_ui->editString->text() : QString();
    return accepted;
}

void TfrmStringRequest::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        m_ui->editString->setFocus();
    }
}
