#pragma once

#include <functional>
#include <memory>

#include <QDialog>
#include <QString>

namespace Ui {
class TfrmPasswordChange;
}

// Asks for a new password twice and, when the budget already has one, for the current password.
class TfrmPasswordChange : public QDialog {
    Q_OBJECT

public:
    explicit TfrmPasswordChange(QWidget* parent = nullptr);
    ~TfrmPasswordChange() override;

    // Resets the dialog before a showing.
    void Setup(bool requireCurrent);

    // Verifies the current password; without it every current password is refused.
    std::function<bool(const QString& password)> OnCheckPassword;

    QString NewPassword() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool CheckCurrentPassword() const;
    void UpdateOK();
    void TryAccept();

    std::unique_ptr<Ui::TfrmPasswordChange> m_ui;
    bool FRequireCurrent = false;
};
