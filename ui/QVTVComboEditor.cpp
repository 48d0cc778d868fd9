#include "ui/QVTVComboEditor.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QCompleter>
#include <QDateEdit>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include "ui/QVUIUtils.h"

namespace {

bool IsEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
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
    FCombo = new QComboBox(this);
    FCombo->setObjectName(QStringLiteral("Combo"));
    int selected = -1;
    for (int i = 0; i < FItems.Count(); ++i) {
        FCombo->addItem(QVUIUtils::ToQ(FItems.Strings(i)), QVariant::fromValue(FItems.Objects(i)));
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
    Place(FCombo);
}

TQVTVComboEditor::TQVTVComboEditor(QWidget* parent, TDateTime date)
    : QWidget(parent), FDateMode(true), FAllowEdit(true), FStartDate(date) {
    FDatePicker = new QDateEdit(this);
    FDatePicker->setObjectName(QStringLiteral("DatePicker"));
    FDatePicker->setCalendarPopup(true);
    FDatePicker->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    FDatePicker->setDate(QVUIUtils::ToQDateTime(date).date());
    // A day picked in the calendar ends the edit, as Enter does. The pop-up has already closed
    // and set the date by then, since its own connections were made first. A pop-up dismissed
    // without a pick (Escape, a click outside) leaves the edit running.
    QCalendarWidget* calendar = FDatePicker->calendarWidget();
    for (auto signal : {&QCalendarWidget::clicked, &QCalendarWidget::activated}) {
        connect(calendar, signal, this, [this] {
            if (!FStopped) {
                emit EndRequested();
            }
        });
    }
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

int TQVTVComboEditor::ChosenIndex() const {
    if (!FAllowEdit) {
        return FCombo->currentIndex();
    }
    // The current index stays on the preselected entry while other text is typed, so the text
    // decides. An empty text is a cancel even when some entry has no name.
    const QString text = FCombo->currentText();
    if (text.isEmpty()) {
        return -1;
    }
    return QVUIUtils::MatchingEntry(*FCombo, text);
}

bool TQVTVComboEditor::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
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

QWidget* TQVCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    TQVTVComboEditor* editor = OnCreateEditor ? OnCreateEditor(parent, index) : nullptr;
    if (editor == nullptr) {
        QWidget* stock = QStyledItemDelegate::createEditor(parent, option, index);
        // The whole old text is selected, so typing replaces it; after the click that opened
        // the editor, which would otherwise place the cursor.
        if (auto* line = qobject_cast<QLineEdit*>(stock)) {
            QMetaObject::invokeMethod(line, &QLineEdit::selectAll, Qt::QueuedConnection);
        }
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
    // Our editor's owner does the model work in its events.
    if (auto* ours = qobject_cast<TQVTVComboEditor*>(editor)) {
        ours->EndEdit();
    } else {
        QStyledItemDelegate::setModelData(editor, model, index);
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
    // Closed without a commit (the row went away, the grid was reset): the owner still hears of
    // the end, so it can let go of what it prepared for the edit.
    if (auto* ours = qobject_cast<TQVTVComboEditor*>(editor)) {
        ours->CancelEdit();
    }
    QStyledItemDelegate::destroyEditor(editor, index);
}
