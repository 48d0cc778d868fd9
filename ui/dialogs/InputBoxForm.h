#pragma once

#include <memory>

#include <QDialog>
#include <QString>

namespace Ui {
class TfrmInputBox;
}

// Asks for one value under a caption of the caller's, with a proposed text.
class TfrmInputBox : public QDialog {
    Q_OBJECT

public:
    explicit TfrmInputBox(QWidget* parent = nullptr);
    ~TfrmInputBox() override;

    static TfrmInputBox& Instance();
    // The edit starts with `defaultText`. After OK `value` is the text and the result true;
    // otherwise `value` is emptied.
    static bool InputBox(const QString& caption, const QString& prompt, const QString& defaultText,
                         QString& value);

    void Setup(const QString& caption, const QString& prompt, const QString& defaultText);
    QString Text() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmInputBox> m_ui;
};
