#pragma once

#include <memory>

#include <QDialog>
#include <QString>

namespace Ui {
class TfrmWarning;
}
class QPushButton;

// A warning with two choices, such as disabling an account that is still used instead of
// removing it.
class TfrmWarning : public QDialog {
    Q_OBJECT

public:
    explicit TfrmWarning(QWidget* parent = nullptr);
    ~TfrmWarning() override;

    static TfrmWarning& Instance();
    // The position of the chosen button: 0 for `caption2` (also Enter and Escape), 1 for
    // `caption3`; -1 when the window was closed without a choice.
    static int ShowWarning(const QString& message, const QString& caption2,
                           const QString& caption3);

    void Setup(const QString& message, const QString& caption2, const QString& caption3);
    int ButtonIndex() const { return FButtonIndex; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Choose(QPushButton* button);

    std::unique_ptr<Ui::TfrmWarning> m_ui;
    int FButtonIndex = -1;
};
