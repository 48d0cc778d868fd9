#pragma once

#include <memory>

#include <QDialog>

namespace Ui {
class TfrmAbout;
}

// The program's name, version and notice, and what it is built from.
class TfrmAbout : public QDialog {
    Q_OBJECT

public:
    explicit TfrmAbout(QWidget* parent = nullptr);
    ~TfrmAbout() override;

    static TfrmAbout& Instance();

private:
    std::unique_ptr<Ui::TfrmAbout> m_ui;
};
