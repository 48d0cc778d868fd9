#include "ui/dialogs/InputBoxForm.h"

#include <QShowEvent>

#include "ui/Prompter.h"
#include "ui/dialogs/SharedDialog.h"
#include "ui_InputBoxForm.h"

TfrmInputBox::TfrmInputBox(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmInputBox>()) {
    m_ui->setupUi(this);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmInputBox::~TfrmInputBox() = default;

TfrmInputBox& TfrmInputBox::Instance() {
    return SharedDialog<TfrmInputBox>();
}

bool TfrmInputBox::InputBox(const QString& caption, const QString& prompt,
                            const QString& defaultText, QString& value) {
    TfrmInputBox& dialog = Instance();
    dialog.Setup(caption, prompt, defaultText);
    const bool accepted = Prompter::Exec(dialog) == QDialog::Accepted;
    value = accepted ? dialog.Text() : QString();
    return accepted;
}

void TfrmInputBox::Setup(const QString& caption, const QString& prompt,
                         const QString& defaultText) {
    setWindowTitle(caption);
    m_ui->lblPrompt->setText(prompt);
    m_ui->editInput->setText(defaultText);
}

QString TfrmInputBox::Text() const {
    return m_ui->editInput->text();
}

void TfrmInputBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        // The proposed text is usually replaced, so it is selected for typing over.
        m_ui->editInput->selectAll();
        m_ui->editInput->setFocus();
    }
}
