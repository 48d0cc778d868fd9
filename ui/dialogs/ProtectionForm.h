#pragma once

#include <cstdint>
#include <memory>

#include <QDialog>

namespace Ui {
class TfrmProtection;
}
class TfrmPasswordChange;

// Chooses the protection level of the open budget and changes its password. Works on the global
// Environment: the password is set here, the level by the caller after OK.
class TfrmProtection : public QDialog {
    Q_OBJECT

public:
    explicit TfrmProtection(QWidget* parent = nullptr);
    ~TfrmProtection() override;

    static TfrmProtection& Instance();

    // Shows the environment's level; call before each showing.
    void LoadProtection();
    // The level chosen: 0 none, 1 normal, 2 strong.
    std::uint8_t ProtectionLevel() const;

private:
    void UpdateButtons();
    void TryAccept();
    void ChangePassword();
    // Runs the password dialog; true when it gave a new password, which is then in force.
    bool AskNewPassword(bool requireCurrent);

    std::unique_ptr<Ui::TfrmProtection> m_ui;
    TfrmPasswordChange* FPasswordChange;
};
