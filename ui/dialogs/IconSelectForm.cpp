#include "ui/dialogs/IconSelectForm.h"

#include <QPainter>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

#include "ui/QVImages.h"
#include "ui/dialogs/SharedDialog.h"
#include "ui_IconSelectForm.h"

namespace {

// The items have pictures and no text, and the usual delegate only marks the (empty) text of a
// selected item: the whole cell is highlighted instead, so the choice can be seen.
class TIconDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem plain = option;
        if (option.state & QStyle::State_Selected) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(option.palette.highlight().color());
            QColor fill = option.palette.highlight().color();
            fill.setAlpha(90);
            painter->setBrush(fill);
            painter->drawRoundedRect(QRectF(option.rect).adjusted(1.5, 1.5, -1.5, -1.5), 4, 4);
            painter->restore();
            plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        }
        QStyledItemDelegate::paint(painter, plain, index);
    }
};

} // namespace

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
    icons->setItemDelegate(new TIconDelegate(icons));
    // OK needs a chosen picture, so a caller never receives "none" as a choice.
    connect(icons->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_ui->btnOK->setEnabled(m_ui->lvIcons->selectionModel()->hasSelection()); });
    m_ui->btnOK->setEnabled(false);
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
    // Emptying the list drops the selection without reporting it.
    m_ui->btnOK->setEnabled(m_ui->lvIcons->selectionModel()->hasSelection());
}

void TfrmIconSelect::TakeSelection() {
    const QModelIndexList selected = m_ui->lvIcons->selectionModel()->selectedIndexes();
    FSelectedIndex = selected.isEmpty() ? -1 : selected.first().row();
    accept();
}
