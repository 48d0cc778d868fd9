#pragma once

#include <memory>

#include <QDialog>
#include <QString>

namespace Ui {
class TfrmBudgetProps;
}

// The open budget's title and description, with its file shown for reference.
class TfrmBudgetProps : public QDialog {
    Q_OBJECT

public:
    explicit TfrmBudgetProps(QWidget* parent = nullptr);
    ~TfrmBudgetProps() override;

    static TfrmBudgetProps& Instance();

    void Setup(const QString& title, const QString& description, const QString& location);
    // What the user left in the edits; the caller writes them to the budget after OK.
    QString Title() const;
    QString Description() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmBudgetProps> m_ui;
};
