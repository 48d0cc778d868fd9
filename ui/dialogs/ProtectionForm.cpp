#include "ui/dialogs/ProtectionForm.h"

#include "model/QVEnvironment.h"
#include "ui/Prompter.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/PasswordChangeForm.h"
#include "ui/dialogs/SharedDialog.h"
#include "ui_ProtectionForm.h"

TfrmProtection::TfrmProtection(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmProtection>()),
      FPasswordChange(new TfrmPasswordChange(this)) {
    m_ui->setupUi(this);
    FPasswordChange->OnCheckPassword = [](const QString& password) {
        return Environment->CheckPassword(QVUIUtils::FromQ(password));
    };
    for (QRadioButton* level : {m_ui->rbNone, m_ui->rbNormal, m_ui->rbStrong}) {
        connect(level, &QRadioButton::toggled, this, &TfrmProtection::UpdateButtons);
    }
    connect(m_ui->btnChangePassword, &QPushButton::clicked, this, &TfrmProtection::ChangePassword);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &TfrmProtection::TryAccept);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmProtection::~TfrmProtection() = default;

TfrmProtection& TfrmProtection::Instance() {
    return SharedDialog<TfrmProtection>();
}

void TfrmProtection::LoadProtection() {
    switch (Environment->Protection) {
    case 0:
        m_ui->rbNone->setChecked(true);
        break;
    case 1:
        m_ui->rbNormal->setChecked(true);
        break;
    default:
        m_ui->rbStrong->setChecked(true);
        break;
    }
    // Tab enters the levels at the checked one, where a Space changes nothing. The toolkit moves
    // the levels' one tab stop only to a level that takes the focus, so a level checked from here
    // would leave it on another one, and a Space there would change the protection.
    for (QRadioButton* level : {m_ui->rbNone, m_ui->rbNormal, m_ui->rbStrong}) {
        level->setFocusPolicy(level->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
    }
    UpdateButtons();
}

std::uint8_t TfrmProtection::ProtectionLevel() const {
    if (m_ui->rbNone->isChecked()) {
        return 0;
    }
    return m_ui->rbNormal->isChecked() ? 1 : 2;
}

void TfrmProtection::UpdateButtons() {
    m_ui->btnChangePassword->setEnabled(!m_ui->rbNone->isChecked());
}

void TfrmProtection::TryAccept() {
    if (m_ui->rbNone->isChecked()) {
        if (Environment->Protection != 0 &&
            Prompter::Show(
                this, Prompter::Kind::Warning,
                QStringLiteral("Your budget will not be protected anymore. Are you sure?"),
                QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
            return;
        }
        accept();
        return;
    }
    if (!Environment->PasswordKey.empty()) {
        accept();
        return;
    }
    // Encryption needs a key: without a password the level cannot be raised.
    Prompter::Show(
        this, Prompter::Kind::Information,
        QStringLiteral("Your budget is currently stored in unencrypted form. You have to "
                       "provide a new password to be used for budget encryption."));
    if (AskNewPassword(false)) {
        accept();
    }
}

void TfrmProtection::ChangePassword() {
    // Takes effect at once, so cancelling this dialog afterwards keeps the new password.
    AskNewPassword(Environment->Protection != 0);
}

bool TfrmProtection::AskNewPassword(bool requireCurrent) {
    FPasswordChange->Setup(requireCurrent);
    if (Prompter::Exec(*FPasswordChange) != QDialog::Accepted) {
        return false;
    }
    Environment->SetPassword(QVUIUtils::FromQ(FPasswordChange->NewPassword()));
    return true;
}
