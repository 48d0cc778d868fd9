#pragma once

#include <functional>

#include <QPersistentModelIndex>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QWidget>

#include "platform/WideStringList.h"
#include "storage/QVUtils.h"

class QAbstractItemView;
class QComboBox;
class QDateEdit;

// The in-place editor of a grid cell whose value is picked rather than typed freely: a combo box
// over named objects (accounts, categories), optionally taking a typed name for a new one, or a
// date picker. It knows nothing of the budget: it reports the outcome through its events and the
// page that made it does the model work there. One editor serves one edit.
class TQVTVComboEditor : public QWidget {
    Q_OBJECT
public:
    // Combo mode over a copy of `items` (texts with their objects). The entry whose object is
    // `selectedObject` is preselected (the last one when several carry it); typed text is
    // reported with `newItemObject`, which the editor never frees. Without `allowEdit` the combo
    // is a drop-down list.
    TQVTVComboEditor(QWidget* parent, const TWideStringList& items, void* newItemObject,
                     void* selectedObject, bool allowEdit);
    // Date mode, starting at `date`.
    static TQVTVComboEditor* CreateDateEditor(QWidget* parent, TDateTime date);
    ~TQVTVComboEditor() override;

    // A combo edit ended with a chosen entry (its text and object) or with typed text (the text
    // and NewItemObject).
    std::function<void(TQVTVComboEditor& sender, const QString& text, void* object)> OnAccept;
    // A date edit ended with the date shown.
    std::function<void(TQVTVComboEditor& sender, TDateTime date)> OnAcceptDate;
    // The edit was cancelled, or a combo edit ended with an empty text.
    std::function<void(TQVTVComboEditor& sender)> OnCancel;

    // The edited item; set by the creator, read by the event handlers.
    void* Data = nullptr;
    void* NewItemObject() const { return FNewItemObject; }
    void* SelectedObject() const { return FSelectedObject; }
    bool DateMode() const { return FDateMode; }
    bool AllowEdit() const { return FAllowEdit; }
    TDateTime StartDate() const { return FStartDate; }
    // Editing has stopped (accepted or cancelled); later requests do nothing.
    bool Stopped() const { return FStopped; }

    // Reports the outcome, then stops. Unassigned events are skipped.
    void EndEdit();
    // Reports the cancel, then stops.
    void CancelEdit();
    // The character typed on the grid that opened this editor: an editable combo takes it as
    // typed over its whole text (completing it like any typed text); a drop-down list and the
    // date picker ignore it.
    void StartTyped(const QString& text);

    // Null in the other mode.
    QComboBox* Combo() const { return FCombo; }
    QDateEdit* DatePicker() const { return FDatePicker; }

signals:
    // The editor wants its edit ended (Enter, a day picked in the calendar, the focus leaving the
    // editor) or cancelled (Escape); the delegate that made it answers, so the grid closes it the
    // usual way.
    void EndRequested();
    void CancelRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TQVTVComboEditor(QWidget* parent, TDateTime date);
    // Makes `control` fill the editor and take its focus and keys.
    void Place(QWidget* control);
    // Combo mode: the entry that the combo's text names, or -1.
    int ChosenIndex() const;
    // `widget` is this editor or lies inside it.
    bool Contains(const QWidget* widget) const;
    // Date mode: the calendar pop-up was shown, or hid again.
    void CalendarShownOrHidden(bool shown);

    QComboBox* FCombo = nullptr;
    QDateEdit* FDatePicker = nullptr;
    TWideStringList FItems;
    void* FNewItemObject = nullptr;
    void* FSelectedObject = nullptr;
    bool FDateMode = false;
    bool FAllowEdit = true;
    bool FStopped = false;
    bool FCalendarShown = false;
    TDateTime FStartDate = 0;
};

// The item delegate of an editable grid. For each edit it asks its owner for an editor: a
// TQVTVComboEditor, which it then drives (EndEdit when the grid commits: Enter, the focus leaving,
// another row chosen; CancelEdit when the edit is closed any other way: Escape, the grid reset),
// or nothing, for the stock line editor whose text reaches the model's setData. Editors cover
// their cell, growing where the cell is too small for the control, and follow scrolling and
// column resizing. An error raised by a commit (an amount that is no number) is shown once the
// event that caused the commit has finished, never inside it: a commit runs inside whatever took
// the focus (a menu opening, a shortcut, a click), and a message box's event loop there leaves
// the framework's own handling of that event in a state it does not survive.
class TQVCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using TCreateEditor = std::function<TQVTVComboEditor*(QWidget* parent, const QModelIndex&)>;

    explicit TQVCellDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    TCreateEditor OnCreateEditor;

    // Opens the editor of `cell` where one can open: an enabled, editable cell of a shown row
    // and column. An editor open on another cell of the view is committed first, as a click
    // there would; one already open on this cell takes the focus. `typed`, the character that
    // asked for the edit, goes into the new editor as if typed there (a line editor or an
    // editable combo starts with it in place of the old text; a list or a date ignores it).
    // False when no editor opened.
    static bool Edit(QAbstractItemView& view, const QModelIndex& cell, const QString& typed = {});

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

private:
    // The editor this delegate has open, and its cell; the view opens one at a time.
    mutable QPointer<QWidget> FOpenEditor;
    mutable QPersistentModelIndex FOpenIndex;
};
