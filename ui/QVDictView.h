#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QAbstractTableModel>

#include "storage/QVBase.h"

class QItemSelectionModel;

// A list of named objects for the personalisation grid: name, description and an "enabled" check
// box per row. The view knows nothing of the objects' classes; its owner answers and applies
// every text and check through the On... events. The objects are not owned.
//
// The grid binds to the view itself, so the view is a table model; it is also a TQVBase so that
// owners may hold it as one of the program's objects. QObject comes first, as moc requires.
class TQVDictView : public QAbstractTableModel, public TQVBase {
    Q_OBJECT

public:
    enum Column { ColName, ColDescription, ColEnabled, ColumnCount };

    using TGetTextEvent =
        std::function<void(TQVDictView& sender, TQVBase* item, int column, std::u16string& text)>;
    using TNewTextEvent = std::function<void(TQVDictView& sender, TQVBase* item, int column,
                                             const std::u16string& newText)>;
    using TGetCheckedEvent = std::function<void(TQVDictView& sender, TQVBase* item, bool& checked)>;
    using TCheckClickEvent = std::function<void(TQVDictView& sender, TQVBase* item, bool checked)>;
    using TAddItemEvent = std::function<void(TQVDictView& sender, TQVBase*& newItem)>;
    using TDeleteItemEvent = std::function<void(TQVDictView& sender, TQVBase* item, bool& allow)>;

    // Copies the list; the rows follow it in order.
    explicit TQVDictView(std::vector<TQVBase*> items, QObject* parent = nullptr);

    // Unset events leave texts empty, checks ticked and edits without effect.
    TGetTextEvent OnGetText;
    TNewTextEvent OnNewText;
    TGetCheckedEvent OnGetChecked;
    TCheckClickEvent OnCheckClick;
    TAddItemEvent OnAddItem;
    TDeleteItemEvent OnDeleteItem;

    // Which list the view edits, for the owner's use.
    int Kind = 0;

    // The picture of QVImages::Dict() in every row's name cell; -1 for none.
    void SetImageIndex(int index);

    // Null for a row out of range.
    TQVBase* Item(int row) const;
    int RowOf(const TQVBase* item) const;

    // Every cell asked again, for objects changed behind the view's back; the selection stays.
    void Refresh();

    // The items of the selected rows, in grid order.
    std::vector<TQVBase*> GetSelectedItems(const QItemSelectionModel& selection) const;
    // Asks OnAddItem for a new object and appends its row. Returns the new row's name cell, for
    // the caller to open its editor, or an invalid index when nothing was made.
    QModelIndex AddItem();
    // Asks OnDeleteItem about each selected item in grid order and drops the rows it allows; the
    // handler itself frees the object.
    void DeleteSelected(const QItemSelectionModel& selection);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    bool IsChecked(TQVBase* item);

    std::vector<TQVBase*> FItems;
    int FImageIndex = -1;
};
