#include "ui/dialogs/IconSelectForm.h"

#include <QStandardItemModel>

#include "ui/QVImages.h"
#include "ui/dialogs/SharedDialog.h"
#include "ui_IconSelectForm.h"

TfrmIconSelect::TfrmIconSelect(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::TfrmIconSelect>()),
      FItems(new QStandardItemModel(this)) {
    m_ui->setupUi(this);
    QListView* icons = m_ui->lvIcons;
    icons->setModel(FItems);
    icons->setViewMode(QListView::IconMode);
    icons->setMovement(QListView::Static);
    icons->setResizeMode(QListView::Adjust);
    icons->setSelectionMode(QAbstractItemView::SingleSelection);
    icons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    icons->setUniformItemSizes(true);
    icons->setSpacing(6);
    connect(m_ui->btnOK, &QPushButton::clicked, this, &TfrmIconSelect::TakeSelection);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmIconSelect::~TfrmIconSelect() = default;

TfrmIconSelect& TfrmIconSelect::Instance() {
    return SharedDialog<TfrmIconSelect>();
}

void TfrmIconSelect::Setup(const TImageList& images, int currentIndex) {
    FItems->clear();
    FSelectedIndex = -1;
    m_ui->lvIcons->setIconSize(QSize(images.Size(), images.Size()));
    for (int i = 0; i < images.Count(); ++i) {
        auto* item = new QStandardItem(images.Icon(i), QString());
        item->setEditable(false);
        FItems->appendRow(item);
    }
    if (currentIndex >= 0 && currentIndex < images.Count()) {
        m_ui->lvIcons->setCurrentIndex(FItems->index(currentIndex, 0));
    }
}

void TfrmIconSelect::TakeSelection() {
    const QModelIndexList selected = m_ui->lvIcons->selectionModel()->selectedIndexes();
    FSelectedIndex = selected.isEmpty() ? -1 : selected.first().row();
    accept();
}
