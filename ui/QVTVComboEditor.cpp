#include "ui/QVTVComboEditor.h"

#include <algorithm>
#include <cmath>

#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QCompleter>
#include <QDateEdit>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QStyleOptionComboBox>
#include <QTreeView>

#include "ui/Prompter.h"
#include "ui/QVApplication.h"
#include "ui/QVUIUtils.h"
#include "ui/widgets/ElidedComboBox.h"

namespace {

bool IsEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The keys that open a drop-down: F4, and Alt with Down.
bool OpensDropDown(const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    return (key.key() == Qt::Key_F4 && modifiers == Qt::NoModifier) ||
           (key.key() == Qt::Key_Down && modifiers == Qt::AltModifier);
}

// Opens the calendar of a date editor the way a click on its arrow does: the editor has no other
// way to be asked.
void OpenCalendar(QDateEdit& picker) {
    QStyleOptionComboBox option;
    option.initFrom(&picker);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    const QPointF arrow =
        picker.style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, &picker)
            .center();
    QMouseEvent press(QEvent::MouseButtonPress, arrow, picker.mapToGlobal(arrow), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&picker, &press);
}

// The date `day` at the time of day of `start`, counted the way TDateTime counts: before day 0
// the fraction still runs forward from midnight, so it is subtracted there.
TDateTime WithTimeOf(TDateTime start, const QDate& day) {
    const double fraction = std::isfinite(start) ? std::fabs(start - std::trunc(start)) : 0.0;
    const auto days = static_cast<double>(QDate(1899, 12, 30).daysTo(day));
    return days >= 0 ? days + fraction : days - fraction;
}

} // namespace

bool TQVTVComboEditor::Contains(const QWidget* widget) const {
    // Walks past windows too: the calendar pop-up is a window of its own inside the editor.
    for (; widget != nullptr; widget = widget->parentWidget()) {
        if (widget == this) {
            return true;
        }
    }
    return false;
}

TQVTVComboEditor::TQVTVComboEditor(QWidget* parent, const TWideStringList& items,
                                   void* newItemObject, void* selectedObject, bool allowEdit)
    : QWidget(parent), FItems(items), FNewItemObject(newItemObject),
      FSelectedObject(selectedObject), FDateMode(false), FAllowEdit(allowEdit),
      FStartDate(QVUtils::Now()) {
    auto* combo = new TElidedComboBox(this);
    // The list opens within the grid, whose width a long name would otherwise pass.
    for (QWidget* grid = parent; grid != nullptr; grid = grid->parentWidget()) {
        if (qobject_cast<QAbstractItemView*>(grid) != nullptr) {
            combo->SetPopupBounds(grid);
            break;
        }
    }
    FCombo = combo;
    FCombo->setObjectName(QStringLiteral("Combo"));
    int selected = -1;
    for (int i = 0; i < FItems.Count(); ++i) {
        FCombo->addItem(QVUIUtils::ShownName(FItems.Strings(i)),
                        QVariant::fromValue(FItems.Objects(i)));
        if (FItems.Objects(i) == FSelectedObject) {
            selected = i;
        }
    }
    if (FAllowEdit) {
        FCombo->setEditable(true);
        // Typed text is reported, never added to the list: the page decides what it becomes.
        FCombo->setInsertPolicy(QComboBox::NoInsert);
        auto* completer = new QCompleter(FCombo->model(), FCombo);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        completer->setCompletionMode(QCompleter::InlineCompletion);
        FCombo->setCompleter(completer);
        FCombo->lineEdit()->installEventFilter(this);
    }
    // The first added entry became current by itself; without a match nothing is chosen.
    FCombo->setCurrentIndex(selected);
    if (FAllowEdit) {
        // The name is selected from its end back to its start, so the cell shows how it begins,
        // however long, and typing replaces it, as in the grid's text editor.
        QLineEdit& line = *FCombo->lineEdit();
        line.setSelection(static_cast<int>(line.text().size()),
                          -static_cast<int>(line.text().size()));
    }
    Place(FCombo);
}

TQVTVComboEditor::TQVTVComboEditor(QWidget* parent, TDateTime date)
    : QWidget(parent), FDateMode(true), FAllowEdit(true), FStartDate(date) {
    FDatePicker = new QDateEdit(this);
    FDatePicker->setObjectName(QStringLiteral("DatePicker"));
    FDatePicker->setCalendarPopup(true);
    FDatePicker->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    FDatePicker->setDate(QVUIUtils::ToQDateTime(date).date());
    // The calendar closing ends the edit with the date shown, as Enter does, however it closed:
    // a day picked, Escape in it (which puts back the date it opened with), a click outside.
    // The calendar is a pop-up window of its own, so it is watched apart from the picker.
    FDatePicker->calendarWidget()->window()->installEventFilter(this);
    Place(FDatePicker);
}

TQVTVComboEditor* TQVTVComboEditor::CreateDateEditor(QWidget* parent, TDateTime date) {
    return new TQVTVComboEditor(parent, date);
}

TQVTVComboEditor::~TQVTVComboEditor() = default;

void TQVTVComboEditor::Place(QWidget* control) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(control);
    // The grid focuses the editor it opens; the control inside is the one that takes the keys.
    setFocusProxy(control);
    setFocusPolicy(control->focusPolicy());
    control->installEventFilter(this);
}

void TQVTVComboEditor::EndEdit() {
    if (FStopped) {
        return;
    }
    // Stopped first: a handler that opens a dialog takes the focus away from the editor, and
    // that must not report the edit a second time.
    FStopped = true;
    if (FDateMode) {
        const TDateTime date = WithTimeOf(FStartDate, FDatePicker->date());
        if (OnAcceptDate) {
            OnAcceptDate(*this, date);
        }
        return;
    }
    const int index = ChosenIndex();
    if (index >= 0) {
        if (OnAccept) {
            OnAccept(*this, QVUIUtils::ToQ(FItems.Strings(index)), FItems.Objects(index));
        }
    } else if (const QString text = FCombo->currentText(); FAllowEdit && !text.isEmpty()) {
        if (OnAccept) {
            OnAccept(*this, text, FNewItemObject);
        }
    } else if (OnCancel) {
        OnCancel(*this);
    }
}

void TQVTVComboEditor::CancelEdit() {
    if (FStopped) {
        return;
    }
    FStopped = true;
    if (OnCancel) {
        OnCancel(*this);
    }
}

void TQVTVComboEditor::StartTyped(const QString& text) {
    if (FStopped || FDateMode || !FAllowEdit || text.isEmpty()) {
        return;
    }
    // Sent as a key, so the combo completes it as it completes any typed text.
    QLineEdit& line = *FCombo->lineEdit();
    line.selectAll();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(&line, &key);
}

void TQVTVComboEditor::CalendarShownOrHidden(bool shown) {
    if (shown) {
        FCalendarShown = true;
        return;
    }
    if (!FCalendarShown) {
        return;
    }
    FCalendarShown = false;
    // After the pop-up's own handling of its closing, which sets the picked date or puts the old
    // one back.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!FStopped) {
                emit EndRequested();
            }
        },
        Qt::QueuedConnection);
}

int TQVTVComboEditor::ChosenIndex() const {
    if (!FAllowEdit) {
        return FCombo->currentIndex();
    }
    // The current index stays on the preselected entry while other text is typed, so the text
    // decides. An entry without a name is chosen only as the current entry (preselected or
    // picked from the list); an emptied text is a cancel.
    const QString text = FCombo->currentText();
    if (text.isEmpty()) {
        const int current = FCombo->currentIndex();
        return current >= 0 && FCombo->itemText(current).isEmpty() ? current : -1;
    }
    return QVUIUtils::MatchingEntry(*FCombo, text);
}

bool TQVTVComboEditor::eventFilter(QObject* watched, QEvent* event) {
    if (FDatePicker != nullptr && watched == FDatePicker->calendarWidget()->window()) {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
            CalendarShownOrHidden(event->type() == QEvent::Show);
        }
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        // The picker's own handling of these keys would step the day instead.
        if (watched == FDatePicker && OpensDropDown(*key)) {
            if (event->type() == QEvent::KeyPress && !FStopped) {
                OpenCalendar(*FDatePicker);
            }
            event->accept();
            return true;
        }
        const bool enter = IsEnterKey(key->key());
        const bool escape = key->key() == Qt::Key_Escape;
        if (!enter && !escape) {
            break;
        }
        // Claimed before any shortcut of the window can take them.
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (FStopped) {
            return true;
        }
        if (enter) {
            emit EndRequested();
        } else {
            emit CancelRequested();
        }
        return true;
    }
    case QEvent::FocusOut: {
        // Leaving the editor accepts it, as leaving the grid's line editor does. Not leaving:
        // a pop-up of the control opening, the focus moving inside the editor, and the grid
        // hiding the editor to close it.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (FStopped || isHidden() || reason == Qt::PopupFocusReason) {
            break;
        }
        if (!Contains(QApplication::focusWidget())) {
            emit EndRequested();
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- TQVCellDelegate

namespace {

// Shows the error being handled once the event now running has finished, over `window`.
void ShowErrorLater(QWidget* window) {
    QMetaObject::invokeMethod(
        qApp,
        [message = QVApplication::CurrentExceptionMessage(), window = QPointer<QWidget>(window)] {
            Prompter::Error(window, message);
        },
        Qt::QueuedConnection);
}

// A cell in a shown row and column of `view` whose flags let an editor open.
bool Editable(const QAbstractItemView& view, const QModelIndex& index) {
    if (!index.isValid() || index.model() != view.model()) {
        return false;
    }
    const Qt::ItemFlags flags = index.flags();
    if (!flags.testFlag(Qt::ItemIsEditable) || !flags.testFlag(Qt::ItemIsEnabled)) {
        return false;
    }
    if (const auto* tree = qobject_cast<const QTreeView*>(&view)) {
        return !tree->isColumnHidden(index.column()) &&
               !tree->isRowHidden(index.row(), index.parent());
    }
    return true;
}

} // namespace

bool TQVCellDelegate::Edit(QAbstractItemView& view, const QModelIndex& cell, const QString& typed) {
    if (!Editable(view, cell)) {
        return false;
    }
    // The commit below may change the model.
    const QPersistentModelIndex index(cell);
    auto* self = qobject_cast<TQVCellDelegate*>(view.itemDelegateForIndex(index));
    if (self != nullptr && self->FOpenEditor) {
        const QPointer<QWidget> open = self->FOpenEditor;
        if (self->FOpenIndex == index) {
            open->setFocus();
            return true;
        }
        emit self->commitData(open);
        // A commit that rebuilt the grid has closed the editor already.
        if (open && self->FOpenEditor == open) {
            emit self->closeEditor(open, QAbstractItemDelegate::NoHint);
        }
        if (!Editable(view, index)) {
            return false;
        }
    }
    // A click on a selected cell leaves the view waiting out the double-click time before it
    // edits that cell, and it refuses every other edit meanwhile. The cell becoming current
    // again ends that wait.
    if (QItemSelectionModel* selection = view.selectionModel()) {
        selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    view.edit(index);
    QWidget* editor = view.indexWidget(index);
    if (editor == nullptr) {
        return false;
    }
    if (typed.isEmpty()) {
        return true;
    }
    if (auto* ours = qobject_cast<TQVTVComboEditor*>(editor)) {
        ours->StartTyped(typed);
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        // The view has selected the old text; the key replaces it as typing over it would.
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
        QApplication::sendEvent(line, &key);
    }
    return true;
}

QWidget* TQVCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    TQVTVComboEditor* editor = OnCreateEditor ? OnCreateEditor(parent, index) : nullptr;
    if (editor == nullptr) {
        QWidget* stock;
        if (index.data(Qt::EditRole).userType() == QMetaType::QString) {
            // A text keeps to its cell as it grows, as the drop-down editors do: the stock editor
            // would spread over the cells beside it.
            auto* line = new QLineEdit(parent);
            line->setFrame(
                line->style()->styleHint(QStyle::SH_ItemView_DrawDelegateFrame, nullptr, line));
            stock = line;
        } else {
            stock = QStyledItemDelegate::createEditor(parent, option, index);
        }
        // The whole old text is selected, so typing replaces it; after the click that opened
        // the editor, which would otherwise place the cursor.
        if (auto* line = qobject_cast<QLineEdit*>(stock)) {
            // Unless a typed character has already replaced it.
            QMetaObject::invokeMethod(
                line,
                [line] {
                    if (!line->isModified()) {
                        line->selectAll();
                    }
                },
                Qt::QueuedConnection);
        }
        FOpenEditor = stock;
        FOpenIndex = index;
        return stock;
    }
    // The signals of a delegate are not const; answering the editor changes nothing of ours.
    auto* self = const_cast<TQVCellDelegate*>(this);
    connect(editor, &TQVTVComboEditor::EndRequested, self, [self, editor] {
        emit self->commitData(editor);
        emit self->closeEditor(editor, QAbstractItemDelegate::NoHint);
    });
    connect(editor, &TQVTVComboEditor::CancelRequested, self, [self, editor] {
        editor->CancelEdit();
        emit self->closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    });
    FOpenEditor = editor;
    FOpenIndex = index;
    return editor;
}

void TQVCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    // Our editor got its value when it was made; a repaint of the row must not reset it.
    if (qobject_cast<TQVTVComboEditor*>(editor) == nullptr) {
        QStyledItemDelegate::setEditorData(editor, index);
    }
}

void TQVCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const {
    try {
        if (auto* ours = qobject_cast<TQVTVComboEditor*>(editor)) {
            // Our editor's owner does the model work in its events.
            ours->EndEdit();
        } else if (const QMetaProperty value = editor->metaObject()->userProperty();
                   value.isValid()) {
            // The stock work, done here so that an error of the model's setData reaches the
            // catch below without unwinding through the framework's code.
            model->setData(index, value.read(editor), Qt::EditRole);
        } else {
            QStyledItemDelegate::setModelData(editor, model, index);
        }
    } catch (...) {
        ShowErrorLater(editor->window());
    }
}

void TQVCellDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
    if (qobject_cast<TQVTVComboEditor*>(editor) == nullptr) {
        QStyledItemDelegate::updateEditorGeometry(editor, option, index);
        return;
    }
    // A cell smaller than the control would clip its text; the editor then grows around the
    // cell, vertically about its middle and to the right, kept inside the grid where it fits.
    QRect rect = option.rect;
    const QSize hint = editor->sizeHint();
    if (hint.height() > rect.height()) {
        rect.adjust(0, -(hint.height() - rect.height()) / 2, 0, 0);
        rect.setHeight(hint.height());
    }
    if (hint.width() > rect.width()) {
        rect.setWidth(hint.width());
        const QWidget* grid = editor->parentWidget();
        if (grid != nullptr && rect.right() >= grid->width()) {
            rect.moveRight(std::max(grid->width() - 1, option.rect.right()));
            if (rect.left() < 0) {
                rect.moveLeft(std::min(0, option.rect.left()));
            }
        }
    }
    editor->setGeometry(rect);
}

void TQVCellDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const {
    if (editor == FOpenEditor) {
        FOpenEditor.clear();
        FOpenIndex = QPersistentModelIndex();
    }
    // Closed without a commit (the row went away, the grid was reset): the owner still hears of
    // the end, so it can let go of what it prepared for the edit.
    if (auto* ours = qobject_cast<TQVTVComboEditor*>(editor)) {
        ours->CancelEdit();
    }
    QStyledItemDelegate::destroyEditor(editor, index);
}
