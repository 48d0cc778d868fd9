#include "ui/dialogs/PasswordRequestForm.h"

#include <QPointer>

#include "model/QVEnvironment.h"
#include "ui/Prompter.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/PasswordLimits.h"
#include "ui_PasswordRequestForm.h"

TfrmPasswordRequest::TfrmPasswordRequest(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmPasswordRequest>()) {
    m_ui->setupUi(this);
    m_ui->editPass->setMaxLength(MaxPasswordLength);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmPasswordRequest::~TfrmPasswordRequest() = default;

QString TfrmPasswordRequest::Password() const {
    return m_ui->editPass->text();
}

void InstallPasswordRequest(QWidget* parent) {
    // The parent may go away before the environment does; the dialog then stands alone.
    Environment->PasswordRequest =
        [owner = QPointer<QWidget>(parent)]() -> std::optional<std::u16string> {
        TfrmPasswordRequest dialog(owner.data());
        if (Prompter::Exec(dialog) != QDialog::Accepted) {
            return std::nullopt;
        }
        return QVUIUtils::FromQ(dialog.Password());
    };
}
