#pragma once

#include <memory>

#include <QDialog>
#include <QString>

namespace Ui {
class TfrmConfirmation;
}

// A yes/no question, such as whether to remove something.
class TfrmConfirmation : public QDialog {
    Q_OBJECT

public:
    explicit TfrmConfirmation(QWidget* parent = nullptr);
    ~TfrmConfirmation() override;

    static TfrmConfirmation& Instance();
    // True exactly when the user answers Yes.
    static bool Confirm(const QString& prompt);

private:
    std::unique_ptr<Ui::TfrmConfirmation> m_ui;
};
