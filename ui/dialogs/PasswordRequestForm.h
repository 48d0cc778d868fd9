#pragma once

#include <memory>

#include <QDialog>
#include <QString>

namespace Ui {
class TfrmPasswordRequest;
}

// Asks for the password of a budget file being opened. Made anew for each request, so no typed
// password lingers in a kept window.
class TfrmPasswordRequest : public QDialog {
    Q_OBJECT

public:
    explicit TfrmPasswordRequest(QWidget* parent = nullptr);
    ~TfrmPasswordRequest() override;

    QString Password() const;

private:
    std::unique_ptr<Ui::TfrmPasswordRequest> m_ui;
};

// Lets the global Environment ask the user for a budget's password through this dialog, centred
// on `parent`: the typed text after OK, nothing after Cancel.
void InstallPasswordRequest(QWidget* parent);
