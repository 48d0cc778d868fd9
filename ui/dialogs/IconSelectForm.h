#pragma once

#include <memory>

#include <QDialog>

namespace Ui {
class TfrmIconSelect;
}
class QStandardItemModel;
class TImageList;

// Picks one picture of an image list, such as an account's icon.
class TfrmIconSelect : public QDialog {
    Q_OBJECT

public:
    explicit TfrmIconSelect(QWidget* parent = nullptr);
    ~TfrmIconSelect() override;

    static TfrmIconSelect& Instance();

    // Shows every picture of `images`, item i being picture i, with `currentIndex` selected
    // when it is one of them.
    void Setup(const TImageList& images, int currentIndex);
    // After OK: the picture chosen, or -1 when none was selected.
    int SelectedIndex() const { return FSelectedIndex; }

private:
    void TakeSelection();

    std::unique_ptr<Ui::TfrmIconSelect> m_ui;
    QStandardItemModel* FItems;
    int FSelectedIndex = -1;
};
