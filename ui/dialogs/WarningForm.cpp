#include "ui/dialogs/WarningForm.h"

#include <QKeyEvent>
#include <QStyle>

#include "ui/Prompter.h"
#include "ui/dialogs/SharedDialog.h"
#include "ui_WarningForm.h"

TfrmWarning::TfrmWarning(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmWarning>()) {
    m_ui->setupUi(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    m_ui->imgIcon->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize));
    for (QPushButton* button : {m_ui->btnButton1, m_ui->btnButton2, m_ui->btnButton3}) {
        connect(button, &QPushButton::clicked, this, [this, button] { Choose(button); });
    }
}

TfrmWarning::~TfrmWarning() = default;

TfrmWarning& TfrmWarning::Instance() {
    return SharedDialog<TfrmWarning>();
}

int TfrmWarning::ShowWarning(const QString& message, const QString& caption2,
                             const QString& caption3) {
    TfrmWarning& dialog = Instance();
    dialog.Setup(message, caption2, caption3);
    return Prompter::Exec(dialog) == QDialog::Accepted ? dialog.ButtonIndex() : -1;
}

void TfrmWarning::Setup(const QString& message, const QString& caption2, const QString& caption3) {
    FButtonIndex = -1;
    m_ui->lblMessage->setText(message);
    m_ui->btnButton1->setDefault(false);
    m_ui->btnButton1->hide();
    m_ui->btnButton2->setDefault(true);
    m_ui->btnButton2->setText(caption2);
    m_ui->btnButton3->setText(caption3);
}

void TfrmWarning::keyPressEvent(QKeyEvent* event) {
    // Escape answers with the last choice, which every caller offers as Cancel: a key meant to
    // back out must never pick the first choice, which changes the budget (Disable).
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_ui->btnButton3->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmWarning::Choose(QPushButton* button) {
    // The index counts visible buttons only, so it does not depend on which ones are hidden.
    const int first = m_ui->btnButton1->isHidden() ? 0 : 1;
    if (button == m_ui->btnButton1) {
        FButtonIndex = 0;
    } else if (button == m_ui->btnButton2) {
        FButtonIndex = first;
    } else {
        FButtonIndex = first + 1;
    }
    accept();
}
