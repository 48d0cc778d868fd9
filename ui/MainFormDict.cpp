// The personalisation page: the expense or the income categories, with their enabled flags.
#include <functional>
#include <vector>

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QTreeView>

#include "model/QVEnvironment.h"
#include "storage/QVBase.h"
#include "ui/MainForm.h"
#include "ui/QVDictView.h"
#include "ui/QVGrids.h"
#include "ui/QVTVComboEditor.h"
#include "ui/QVUIUtils.h"
#include "ui/dialogs/QVConfirmationForm.h"
#include "ui/dialogs/WarningForm.h"
#include "ui_MainForm.h"

using QVUIUtils::Lang;

namespace {

enum { kExpenseKind = 1, kIncomeKind = 2 };

// The command of the enable/disable item, kept in the item's data.
enum { kDisableTag = 0, kEnableTag = 1 };

} // namespace

void TfrmMain::ShowExpenseCategories() {
    ShowCategories(kExpenseKind);
}

void TfrmMain::ShowIncomeCategories() {
    ShowCategories(kIncomeKind);
}

void TfrmMain::ShowCategories(int kind) {
    const bool expense = kind == kExpenseKind;
    BindModel(*m_ui->tvDict, nullptr);
    FDictView.reset();
    m_ui->lblHeader->setText(Lang(expense ? u"HEADER_EXPENSE_CATS" : u"HEADER_INCOME_CATS"));
    SetHeaderPicture(QVImages::PersonalisationImg(), expense ? 0 : 1);

    std::vector<TQVBase*> items;
    const int count =
        expense ? Environment->ExpenseLocationCount() : Environment->IncomeLocationCount();
    for (int i = 0; i < count; ++i) {
        items.push_back(expense ? Environment->GetExpenseLocation(i)
                                : Environment->GetIncomeLocation(i));
    }
    auto view = std::make_unique<TQVDictView>(items);
    view->OnGetText = [](TQVDictView&, TQVBase* item, int column, std::u16string& text) {
        if (auto* location = dynamic_cast<TQVLocation*>(item)) {
            text = column == 0 ? location->Name : column == 1 ? location->Description : u"";
        }
    };
    view->OnNewText = [](TQVDictView&, TQVBase* item, int column, const std::u16string& text) {
        if (auto* location = dynamic_cast<TQVLocation*>(item)) {
            if (column == 0) {
                location->Name = text;
            } else if (column == 1) {
                location->Description = text;
            }
        }
    };
    view->OnGetChecked = [](TQVDictView&, TQVBase* item, bool& checked) {
        if (auto* location = dynamic_cast<TQVLocation*>(item)) {
            checked = location->Enabled;
        }
    };
    view->OnCheckClick = [](TQVDictView&, TQVBase* item, bool checked) {
        if (auto* location = dynamic_cast<TQVLocation*>(item)) {
            location->Enabled = checked;
        }
    };
    view->OnAddItem = [this](TQVDictView& sender, TQVBase*& newItem) {
        DictAddItem(sender, newItem);
    };
    view->OnDeleteItem = [this](TQVDictView& sender, TQVBase* item, bool& allow) {
        DictDeleteItem(sender, item, allow);
    };
    view->Kind = kind;
    view->SetImageIndex(1);
    BindModel(*m_ui->tvDict, view.get());
    FDictView = std::move(view);
    // The check-box column keeps its width; the header forgets that with each new model.
    m_ui->tvDict->header()->setSectionResizeMode(TQVDictView::ColEnabled, QHeaderView::Fixed);
}

void TfrmMain::ConnectDict() {
    QTreeView& tree = *m_ui->tvDict;
    tree.setItemDelegate(new TQVCellDelegate(&tree));
    QVGrids::ShowFocusedCell(tree);
    // The description takes whatever the name and the narrow check-box column leave.
    QVGrids::KeepColumnWidths(tree, {220, 0, 80}, TQVDictView::ColDescription);
    // One menu, emptied and built anew each time it opens.
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("mnuDict"));
    connect(&tree, &QWidget::customContextMenuRequested, this,
            [this, menu](const QPoint& position) {
                BuildDictMenu(*menu);
                menu->popup(m_ui->tvDict->viewport()->mapToGlobal(position));
            });
    WatchGridKeys(tree, [this](QKeyEvent& event) {
        QTreeView& grid = *m_ui->tvDict;
        if (QVGrids::MoveFocusedColumn(grid, event)) {
            return true;
        }
        if (!TypesCharacter(grid, event)) {
            return false;
        }
        // In the check-box column Space keeps its usual meaning and ticks the box; no text
        // editor ever opens there.
        if (grid.currentIndex().column() == TQVDictView::ColEnabled) {
            return event.key() != Qt::Key_Space;
        }
        EditFirstSelected(grid, event.text());
        return true;
    });
}

void TfrmMain::EditSelectedCategory() {
    if (!FDictView) {
        return;
    }
    QTreeView& tree = *m_ui->tvDict;
    const std::vector<int> rows = QVUIUtils::SelectedRows(*tree.selectionModel());
    if (rows.size() != 1) {
        return;
    }
    const int column = tree.currentIndex().column();
    const QModelIndex cell =
        FDictView->index(rows.front(), column > TQVDictView::ColDescription ? 0 : column);
    tree.selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
    TQVCellDelegate::Edit(tree, cell);
}

void TfrmMain::SetSelectedCategoriesEnabled(bool enabled) {
    if (!FDictView) {
        return;
    }
    for (TQVBase* item : FDictView->GetSelectedItems(*m_ui->tvDict->selectionModel())) {
        if (auto* location = dynamic_cast<TQVLocation*>(item)) {
            location->Enabled = enabled;
        }
    }
    FDictView->Refresh();
}

void TfrmMain::RemoveSelectedCategories() {
    if (!FDictView || !m_ui->tvDict->selectionModel()->hasSelection() ||
        !TfrmConfirmation::Confirm(Lang(u"CONF_DICT_ENTRIES_REMOVAL"))) {
        return;
    }
    FDictView->DeleteSelected(*m_ui->tvDict->selectionModel());
    FDictView->Refresh();
}

void TfrmMain::AddCategory() {
    if (!FDictView) {
        return;
    }
    const QModelIndex name = FDictView->AddItem();
    if (!name.isValid()) {
        return;
    }
    QTreeView& tree = *m_ui->tvDict;
    tree.selectionModel()->setCurrentIndex(name, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
    tree.scrollTo(name);
    TQVCellDelegate::Edit(tree, name);
}

void TfrmMain::BuildDictMenu(QMenu& menu) {
    QVGrids::ClearMenu(menu);
    std::vector<int> rows;
    if (FDictView) {
        rows = QVUIUtils::SelectedRows(*m_ui->tvDict->selectionModel());
    }
    const TImageList& images = QVImages::Dict();

    QAction* edit =
        menu.addAction(images.Icon(1), Lang(u"MNU_EDIT"), this, &TfrmMain::EditSelectedCategory);
    edit->setEnabled(rows.size() == 1);
    menu.setDefaultAction(edit);
    menu.addSeparator();

    // The first selected category decides: enabled offers Disable, anything else Enable.
    const bool firstEnabled =
        !rows.empty() &&
        FDictView->index(rows.front(), TQVDictView::ColEnabled).data(Qt::CheckStateRole).toInt() ==
            Qt::Checked;
    QAction* toggle = menu.addAction(Lang(firstEnabled ? u"MNU_DISABLE" : u"MNU_ENABLE"));
    toggle->setData(firstEnabled ? kDisableTag : kEnableTag);
    toggle->setEnabled(!rows.empty());
    connect(toggle, &QAction::triggered, this,
            [this, toggle] { SetSelectedCategoriesEnabled(toggle->data().toInt() == kEnableTag); });

    menu.addAction(images.Icon(2), Lang(u"MNU_REMOVE"), this, &TfrmMain::RemoveSelectedCategories)
        ->setEnabled(!rows.empty());
    menu.addSeparator();
    menu.addAction(images.Icon(3), Lang(u"MNU_NEW_CATEGORY"), this, &TfrmMain::AddCategory);
}

void TfrmMain::DictAddItem(TQVDictView& sender, TQVBase*& newItem) {
    newItem = nullptr;
    TQVLocation* location = nullptr;
    if (sender.Kind == kExpenseKind) {
        location = Environment->GetExpenseLocation(Environment->AddExpenseLocation());
    } else if (sender.Kind == kIncomeKind) {
        location = Environment->GetIncomeLocation(Environment->AddIncomeLocation());
    } else {
        return;
    }
    location->Name = QVUIUtils::FromQ(Lang(u"UNTITLED"));
    // A fresh identifier at once, so flows that take the category keep it through a save.
    location->Id = QVBase::CreateGUIDString();
    location->Enabled = true;
    location->Description.clear();
    newItem = location;
}

void TfrmMain::DictDeleteItem(TQVDictView& sender, TQVBase* item, bool& allow) {
    allow = false;
    auto* location = dynamic_cast<TQVLocation*>(item);
    const bool expense = sender.Kind == kExpenseKind;
    if (location == nullptr || (!expense && sender.Kind != kIncomeKind)) {
        return;
    }
    const bool used = expense ? Environment->IsExpenseLocationUsed(location)
                              : Environment->IsIncomeLocationUsed(location);
    if (!used) {
        if (expense) {
            Environment->RemoveExpenseLocation(location);
        } else {
            Environment->RemoveIncomeLocation(location);
        }
        allow = true;
        return;
    }
    // A category in use stays, so its flows keep it; the user may take it out of the choices.
    if (TfrmWarning::ShowWarning(Lang(u"WRN_LOCATION_IS_REFERENCED"), Lang(u"BTN_DISABLE"),
                                 Lang(u"BTN_CANCEL")) == 0) {
        location->Enabled = false;
    }
}
