#include "ui/QVDictView.h"

#include <QItemSelectionModel>

#include "ui/QVImages.h"
#include "ui/QVUIUtils.h"

using namespace QVUIUtils;

TQVDictView::TQVDictView(std::vector<TQVBase*> items, QObject* parent)
    : QAbstractTableModel(parent), FItems(std::move(items)) {}

void TQVDictView::SetImageIndex(int index) {
    FImageIndex = index;
    if (rowCount() > 0)
        emit dataChanged(this->index(0, ColName), this->index(rowCount() - 1, ColName),
                         {Qt::DecorationRole});
}

TQVBase* TQVDictView::Item(int row) const {
    return row >= 0 && row < rowCount() ? FItems[static_cast<std::size_t>(row)] : nullptr;
}

int TQVDictView::RowOf(const TQVBase* item) const {
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (FItems[i] == item)
            return static_cast<int>(i);
    }
    return -1;
}

void TQVDictView::Refresh() {
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

std::vector<TQVBase*> TQVDictView::GetSelectedItems(const QItemSelectionModel& selection) const {
    std::vector<TQVBase*> items;
    for (const int row : SelectedRows(selection)) {
        if (TQVBase* item = Item(row))
            items.push_back(item);
    }
    return items;
}

QModelIndex TQVDictView::AddItem() {
    if (!OnAddItem)
        return {};
    TQVBase* newItem = nullptr;
    OnAddItem(*this, newItem);
    if (newItem == nullptr)
        return {};
    const int row = rowCount();
    beginInsertRows({}, row, row);
    FItems.push_back(newItem);
    endInsertRows();
    return index(row, ColName);
}

void TQVDictView::DeleteSelected(const QItemSelectionModel& selection) {
    if (!OnDeleteItem)
        return;
    // The rows are looked up before each question: the handler frees what it allows, and the
    // rows after a removed one move up.
    for (TQVBase* item : GetSelectedItems(selection)) {
        const int row = RowOf(item);
        bool allow = false;
        OnDeleteItem(*this, item, allow);
        if (!allow || row < 0)
            continue;
        // The handler has freed the item: the row shows nothing while the grid lets it go, as
        // the grid reads rows it is about to drop.
        FItems[static_cast<std::size_t>(row)] = nullptr;
        beginRemoveRows({}, row, row);
        FItems.erase(FItems.begin() + row);
        endRemoveRows();
    }
}

int TQVDictView::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FItems.size());
}

int TQVDictView::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

bool TQVDictView::IsChecked(TQVBase* item) {
    bool checked = true;
    if (OnGetChecked)
        OnGetChecked(*this, item, checked);
    return checked;
}

QVariant TQVDictView::data(const QModelIndex& index, int role) const {
    TQVBase* item = index.isValid() ? Item(index.row()) : nullptr;
    if (item == nullptr)
        return {};
    // The events take the view as their sender, as a handler may act on it.
    auto& self = const_cast<TQVDictView&>(*this);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        std::u16string text;
        if (OnGetText)
            OnGetText(self, item, index.column(), text);
        // A row is one line high; a name or description shows on it whole, on one line.
        return ShownName(text);
    }
    case Qt::DecorationRole:
        if (index.column() == ColName && FImageIndex >= 0)
            return QVImages::Dict().Icon(FImageIndex);
        return {};
    case Qt::CheckStateRole:
        if (index.column() == ColEnabled)
            return self.IsChecked(item) ? Qt::Checked : Qt::Unchecked;
        return {};
    default:
        return {};
    }
}

bool TQVDictView::setData(const QModelIndex& index, const QVariant& value, int role) {
    TQVBase* item = index.isValid() ? Item(index.row()) : nullptr;
    if (item == nullptr)
        return false;
    if (role == Qt::CheckStateRole && index.column() == ColEnabled) {
        if (OnCheckClick)
            OnCheckClick(*this, item, value.toInt() == Qt::Checked);
    } else if (role == Qt::EditRole && index.column() < ColEnabled) {
        if (OnNewText)
            OnNewText(*this, item, index.column(), FromQ(value.toString()));
    } else {
        return false;
    }
    // The handler decides what the object becomes; the cell shows that, not the value offered.
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags TQVDictView::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (index.column() == ColEnabled)
        flags |= Qt::ItemIsUserCheckable;
    else
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant TQVDictView::headerData(int section, Qt::Orientation orientation, int role) const {
    static constexpr std::u16string_view Keys[ColumnCount] = {
        u"TV_DICT_TITLE", u"TV_DICT_DESCRIPTION", u"TV_DICT_ENABLED"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return Lang(Keys[section]);
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && section == ColEnabled)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    return QAbstractTableModel::headerData(section, orientation, role);
}
