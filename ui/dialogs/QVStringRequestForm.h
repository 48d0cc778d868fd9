#pragma once

#include <memory>

#include <QDialog>
#include <QString>

namespace Ui {
class TfrmStringRequest;
}

// Asks for one line of text, such as the name of a new account.
class TfrmStringRequest : public QDialog {
    Q_OBJECT

public:
    explicit TfrmStringRequest(QWidget* parent = nullptr);
    ~TfrmStringRequest() override;

    static TfrmStringRequest& Instance();
    // The edit always starts empty. After OK `value` is the typed text and the result true;
    // otherwise `value` is emptied.
    static bool RequestString(const QString& prompt, QString& value);

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmStringRequest> m_ui;
};
