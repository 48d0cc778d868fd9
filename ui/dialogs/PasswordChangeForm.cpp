#include "ui/dialogs/PasswordChangeForm.h"

#include <QShowEvent>

#include "ui/Prompter.h"
#include "ui/dialogs/PasswordLimits.h"
#include "ui_PasswordChangeForm.h"

TfrmPasswordChange::TfrmPasswordChange(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmPasswordChange>()) {
    m_ui->setupUi(this);
    for (QLineEdit* edit : {m_ui->editCurrPwd, m_ui->editNewPwd, m_ui->editNewPwdConf}) {
        edit->setMaxLength(MaxPasswordLength);
    }
    connect(m_ui->editNewPwd, &QLineEdit::textChanged, this, &TfrmPasswordChange::UpdateOK);
    connect(m_ui->editNewPwdConf, &QLineEdit::textChanged, this, &TfrmPasswordChange::UpdateOK);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &TfrmPasswordChange::TryAccept);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmPasswordChange::~TfrmPasswordChange() = default;

void TfrmPasswordChange::Setup(bool requireCurrent) {
    m_ui->editCurrPwd->clear();
    m_ui->editNewPwd->clear();
    m_ui->editNewPwdConf->clear();

    FRequireCurrent = requireCurrent;
    m_ui->lblCurrPwd->setEnabled(requireCurrent);
    m_ui->editCurrPwd->setEnabled(requireCurrent);
    m_ui->btnOK->setEnabled(false);

    // A budget without a password has no current one to give: the disabled edit says so.
    if (requireCurrent) {
        m_ui->editCurrPwd->setEchoMode(QLineEdit::Password);
    } else {
        m_ui->editCurrPwd->setEchoMode(QLineEdit::Normal);
        m_ui->editCurrPwd->setText(QStringLiteral("N/A"));
    }
}

QString TfrmPasswordChange::NewPassword() const {
    return m_ui->editNewPwd->text();
}

void TfrmPasswordChange::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        (FRequireCurrent ? m_ui->editCurrPwd : m_ui->editNewPwd)->setFocus();
    }
}

bool TfrmPasswordChange::CheckCurrentPassword() const {
    if (!FRequireCurrent) {
        return true;
    }
    return OnCheckPassword && OnCheckPassword(m_ui->editCurrPwd->text());
}

void TfrmPasswordChange::UpdateOK() {
    const QString password = m_ui->editNewPwd->text();
    m_ui->btnOK->setEnabled(!password.isEmpty() && password == m_ui->editNewPwdConf->text());
}

void TfrmPasswordChange::TryAccept() {
    if (!CheckCurrentPassword()) {
        Prompter::Error(this, QStringLiteral("Invalid current password value"));
        return;
    }
    if (m_ui->editNewPwd->text() != m_ui->editNewPwdConf->text()) {
        Prompter::Error(this, QStringLiteral("Password confirmation does not match password"));
        return;
    }
    if (m_ui->editNewPwd->text().isEmpty()) {
        Prompter::Error(this, QStringLiteral("Please provide a non-empty password"));
        return;
    }
    accept();
}
