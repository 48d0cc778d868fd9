#include "ui/dialogs/BudgetPropsForm.h"

#include <QShowEvent>

#include "ui/dialogs/SharedDialog.h"
#include "ui_BudgetPropsForm.h"

TfrmBudgetProps::TfrmBudgetProps(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmBudgetProps>()) {
    m_ui->setupUi(this);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmBudgetProps::~TfrmBudgetProps() = default;

TfrmBudgetProps& TfrmBudgetProps::Instance() {
    return SharedDialog<TfrmBudgetProps>();
}

void TfrmBudgetProps::Setup(const QString& title, const QString& description,
                            const QString& location) {
    m_ui->editTitle->setText(title);
    m_ui->memoDescription->setPlainText(description);
    m_ui->editLocation->setText(location);
}

QString TfrmBudgetProps::Title() const {
    return m_ui->editTitle->text();
}

QString TfrmBudgetProps::Description() const {
    return m_ui->memoDescription->toPlainText();
}

void TfrmBudgetProps::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        m_ui->editTitle->setFocus();
    }
}
