// Editing on the cash-flow page: the cell editors and what accepting them does, new rows, removal,
// keys and the context menu of the grid.

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTreeView>

#include "model/QVA2A.h"
#include "model/QVEnvironment.h"
#include "storage/QVBase.h"
#include "ui/MainForm.h"
#include "ui/QVGrids.h"
#include "ui/QVMonthView.h"
#include "ui/QVTVComboEditor.h"
#include "ui/QVUIUtils.h"
#include "ui/widgets/OutlookBar.h"
#include "ui_MainForm.h"

using QVUIUtils::Lang;

namespace {

enum { kCashflowPage = 0, kDebtsPage = 2 };

TQVSource*& SourceOf(TQVMoneyFlow& flow) {
    switch (flow.Kind()) {
    case TQVFlowKind::Expense:
        return static_cast<TQVExpenseItem&>(flow).Source;
    case TQVFlowKind::Income:
        return static_cast<TQVIncomeItem&>(flow).Source;
    case TQVFlowKind::A2A:
        break;
    }
    return static_cast<TQVA2AItem&>(flow).Source;
}

TQVLocation*& LocationOf(TQVMoneyFlow& flow) {
    return flow.Kind() == TQVFlowKind::Expense ? static_cast<TQVExpenseItem&>(flow).Location
                                               : static_cast<TQVIncomeItem&>(flow).Location;
}

// The month of the budget that owns `flow`; null when none does (any more).
TQVMonth* OwnerMonth(const TQVMoneyFlow& flow) {
    for (int i = 0; i < Environment->MonthCount(); ++i) {
        TQVMonth* month = Environment->GetMonth(i);
        if (month->IndexOf(&flow) >= 0) {
            return month;
        }
    }
    return nullptr;
}

} // namespace

void TfrmMain::ConnectCashflow() {
    QTreeView& tree = *m_ui->tvInfo;
    auto* delegate = new TQVCellDelegate(&tree);
    delegate->OnCreateEditor = [this](QWidget* parent, const QModelIndex& index) {
        return tvInfoCreateEditor(parent, index);
    };
    tree.setItemDelegate(delegate);
    tree.setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked |
                         QAbstractItemView::EditKeyPressed);
    QVGrids::ShowFocusedCell(tree);
    QVGrids::KeepColumnWidths(tree, {120, 200, 100, 100, 100});
    WatchGridKeys(tree, [this, &tree](QKeyEvent& event) {
        if (QApplication::focusWidget() != &tree) {
            return false;
        }
        if (QVGrids::IsDeleteKey(event)) {
            RemoveSelectedMoneyFlows();
            return true;
        }
        if (QVGrids::MoveFocusedColumn(tree, event)) {
            return true;
        }
        if (TypesCharacter(tree, event)) {
            // A typed character opens the editor of the first selected row and goes into it.
            EditFirstSelected(tree, event.text());
            return true;
        }
        return false;
    });

    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("mnuTreeView"));
    for (QTreeView* grid : {m_ui->tvInfo, m_ui->tvDebts}) {
        connect(grid, &QWidget::customContextMenuRequested, this,
                [this, grid](const QPoint& position) { mnuTreeViewPopup(*grid, position); });
    }
}

void TfrmMain::mnuTreeViewPopup(QTreeView& tree, const QPoint& position) {
    auto* menu = findChild<QMenu*>(QStringLiteral("mnuTreeView"));
    BuildTreeViewMenu(*menu);
    // Shown without waiting, so the grid keeps running its events underneath.
    menu->popup(tree.viewport()->mapToGlobal(position));
}

void TfrmMain::BuildTreeViewMenu(QMenu& menu) {
    TOutlookBar& bar = *m_ui->LeftBar;
    if (bar.PageCount() == 0) {
        return;
    }
    switch (bar.ActivePageIndex()) {
    case kCashflowPage:
        BuildCashflowMenu(menu);
        break;
    case kDebtsPage:
        if (bar.Page(kDebtsPage).DownIndex() != 0) {
            BuildCreditsMenu(menu);
        } else {
            BuildDebtsMenu(menu);
        }
        break;
    default:
        // Other pages have no grid that offers this menu; it keeps what it had.
        break;
    }
}

void TfrmMain::BuildCashflowMenu(QMenu& menu) {
    QVGrids::ClearMenu(menu);
    const TImageList& images = QVImages::Cashflow();
    const std::vector<int> rows = QVUIUtils::SelectedRows(*m_ui->tvInfo->selectionModel());
    const bool selected = !rows.empty();
    int kindImage = 0;
    if (selected) {
        switch (FMonthView->Flow(rows.front())->Kind()) {
        case TQVFlowKind::Income:
            kindImage = 0;
            break;
        case TQVFlowKind::A2A:
            kindImage = 1;
            break;
        case TQVFlowKind::Expense:
            kindImage = 2;
            break;
        }
    }
    QAction* edit = menu.addAction(images.Icon(kindImage), Lang(u"MNU_EDIT"), this,
                                   &TfrmMain::EditSelectedMoneyFlow);
    edit->setEnabled(selected);
    menu.setDefaultAction(edit);
    menu.addSeparator();
    menu.addAction(images.Icon(3), Lang(u"MNU_REMOVE"), this, &TfrmMain::RemoveSelectedMoneyFlows)
        ->setEnabled(selected);
    menu.addSeparator();
    QMenu* add = menu.addMenu(images.Icon(4), Lang(u"MNU_NEW"));
    add->addAction(images.Icon(2), Lang(u"MNU_EXPENSE"), this, &TfrmMain::AddExpenseRow);
    add->addAction(images.Icon(0), Lang(u"MNU_INCOME"), this, &TfrmMain::AddIncomeRow);
    add->addAction(images.Icon(1), Lang(u"MNU_A2A"), this, &TfrmMain::AddA2ARow);
    // The list of all months holds no flows of its own to add to.
    add->setEnabled(FCurrentMonth != nullptr && FCurrentMonth->OwnsObjects());
}

// ---- Cell editors

TQVTVComboEditor* TfrmMain::tvInfoCreateEditor(QWidget* parent, const QModelIndex& index) {
    TQVMoneyFlow* flow = FMonthView ? FMonthView->Flow(index.row()) : nullptr;
    if (flow == nullptr) {
        return nullptr;
    }
    FEditColumn = index.column();
    const TQVFlowKind kind = flow->Kind();
    TQVTVComboEditor* editor = nullptr;
    TWideStringList items;
    auto combo = [&](std::unique_ptr<TQVBase> newItem, void* selected, bool allowEdit) {
        FNewItemObject = std::move(newItem);
        editor = new TQVTVComboEditor(parent, items, FNewItemObject.get(), selected, allowEdit);
        editor->OnAccept = [this](TQVTVComboEditor& sender, const QString& text, void* object) {
            AssignComboValue(sender, text, object);
        };
        editor->OnCancel = [this](TQVTVComboEditor& sender) { CancelComboEdit(sender); };
    };
    switch (index.column()) {
    case TQVMonthView::ColDate:
        editor = TQVTVComboEditor::CreateDateEditor(parent, flow->Date);
        editor->OnAcceptDate = [this](TQVTVComboEditor& sender, TDateTime date) {
            AssignEditedDate(sender, date);
        };
        break;
    case TQVMonthView::ColTitle:
        if (kind == TQVFlowKind::A2A) {
            Environment->FillTransferTargets(items);
            combo(std::make_unique<TQVSource>(), static_cast<TQVA2AItem*>(flow)->Destination,
                  false);
        }
        break;
    case TQVMonthView::ColCategory:
        if (kind != TQVFlowKind::A2A) {
            if (kind == TQVFlowKind::Expense) {
                Environment->FillExpenseLocations(items, true);
            } else {
                Environment->FillIncomeLocations(items, true);
            }
            combo(std::make_unique<TQVLocation>(), LocationOf(*flow), true);
        }
        break;
    case TQVMonthView::ColAccount:
        Environment->FillSources(items, kind == TQVFlowKind::Income, kind == TQVFlowKind::Expense);
        combo(std::make_unique<TQVSource>(), SourceOf(*flow), true);
        break;
    default:
        break;
    }
    if (editor != nullptr) {
        editor->Data = flow;
    }
    return editor;
}

void TfrmMain::AssignComboValue(TQVTVComboEditor& editor, const QString& text, void* object) {
    auto& flow = *static_cast<TQVMoneyFlow*>(editor.Data);
    const bool typed = object == FNewItemObject.get();
    if (FEditColumn == TQVMonthView::ColCategory) {
        auto* location = static_cast<TQVLocation*>(object);
        if (typed) {
            const bool expense = flow.Kind() == TQVFlowKind::Expense;
            location = expense ? Environment->GetExpenseLocation(Environment->AddExpenseLocation())
                               : Environment->GetIncomeLocation(Environment->AddIncomeLocation());
            location->Name = QVUIUtils::FromQ(text);
            location->Id = QVBase::CreateGUIDString();
        }
        LocationOf(flow) = location;
    } else {
        auto* source = static_cast<TQVSource*>(object);
        if (typed) {
            source = Environment->GetSource(Environment->AddSource());
            source->Name = QVUIUtils::FromQ(text);
            source->Id = QVBase::CreateGUIDString();
            AddAccountButton(source);
        }
        if (flow.Kind() == TQVFlowKind::A2A && FEditColumn == TQVMonthView::ColTitle) {
            static_cast<TQVA2AItem&>(flow).Destination = source;
        } else {
            SourceOf(flow) = source;
        }
    }
    FNewItemObject.reset();
}

void TfrmMain::CancelComboEdit(TQVTVComboEditor&) {
    FNewItemObject.reset();
}

void TfrmMain::AssignEditedDate(TQVTVComboEditor& editor, TDateTime date) {
    auto* flow = static_cast<TQVMoneyFlow*>(editor.Data);
    flow->Date = date;
    // The month check may move the flow and rebuild the grid, which must wait until the grid has
    // closed this editor.
    QMetaObject::invokeMethod(
        this,
        [this, flow] {
            if (OwnerMonth(*flow) != nullptr) {
                tvInfoEdited(*flow);
            }
        },
        Qt::QueuedConnection);
}

void TfrmMain::tvInfoEdited(TQVMoneyFlow& flow) {
    // In the list of all months the flow's own month is found through the budget, so every flow
    // stays in exactly one month, the month of its date.
    const bool allMonths = !FCurrentMonth->OwnsObjects();
    TQVMonth& owner = allMonths ? *OwnerMonth(flow) : *FCurrentMonth;
    if (owner.IsSameMonth(flow.Date)) {
        owner.Sort();
    } else {
        TQVMonth& target = *Environment->GetMonth(Environment->FindMonth(flow.Date, true));
        owner.MoveFlowTo(&flow, target);
        RefreshMonthButtons();
    }
    if (allMonths) {
        Environment->RebuildAllFlows();
    }
    ShowMonth(FCurrentMonth);
}

void TfrmMain::tvInfoNewText(TQVMoneyFlow& flow, int column, const QString& text) {
    if (column == TQVMonthView::ColTitle) {
        flow.Name = QVUIUtils::FromQ(text);
    } else if (column == TQVMonthView::ColSum) {
        // A text that is no number raises and keeps the old amount; the cell delegate shows why.
        flow.Sum = QVUIUtils::ParseMoney(text);
        UpdateCashflowTotals();
    }
}

// ---- New rows and removal

void TfrmMain::NewIncomeToday() {
    NewFlowToday(TQVFlowKind::Income);
}

void TfrmMain::NewExpenseToday() {
    NewFlowToday(TQVFlowKind::Expense);
}

void TfrmMain::NewA2AToday() {
    NewFlowToday(TQVFlowKind::A2A);
}

void TfrmMain::NewFlowToday(TQVFlowKind kind) {
    const int index = Environment->IndexOfCurrentMonth();
    if (index < 0 || !FHasBudget) {
        return;
    }
    m_ui->LeftBar->SetActivePageIndex(kCashflowPage);
    ShowMonth(Environment->GetMonth(index));
    AddRow(kind);
}

void TfrmMain::AddExpenseRow() {
    AddRow(TQVFlowKind::Expense);
}

void TfrmMain::AddIncomeRow() {
    AddRow(TQVFlowKind::Income);
}

void TfrmMain::AddA2ARow() {
    AddRow(TQVFlowKind::A2A);
}

void TfrmMain::AddRow(TQVFlowKind kind) {
    if (FCurrentMonth == nullptr || !FCurrentMonth->OwnsObjects()) {
        return;
    }
    TQVMonth& month = *FCurrentMonth;
    const int index = kind == TQVFlowKind::Expense  ? month.AddExpense()
                      : kind == TQVFlowKind::Income ? month.AddIncome()
                                                    : month.AddA2A();
    TQVMoneyFlow& flow = *month.GetFlow(index);
    // Today's month gets the moment of entry; a past or future month its last day.
    flow.Date =
        QVUtils::IsInCurrentMonth(month.Date) ? QVUtils::Now() : QVUtils::EndOfMonth(month.Date);
    flow.Sum = 0;
    for (int i = 0; i < Environment->SourceCount(); ++i) {
        if (Environment->GetSource(i)->IsDefault) {
            SourceOf(flow) = Environment->GetSource(i);
            break;
        }
    }
    FMonthView->InsertFlowOnTop(&flow);
    month.Sort();
    QTreeView& tree = *m_ui->tvInfo;
    const QModelIndex title = FMonthView->index(0, TQVMonthView::ColTitle);
    // The new row becomes current without being selected: the totals go on covering what they
    // covered (the rows selected before, or every row).
    tree.selectionModel()->setCurrentIndex(title, QItemSelectionModel::NoUpdate);
    tree.scrollTo(title);
    tree.setFocus();
    TQVCellDelegate::Edit(tree, title);
}

void TfrmMain::RemoveSelectedMoneyFlows() {
    if (!FMonthView) {
        return;
    }
    const std::vector<int> rows = QVUIUtils::SelectedRows(*m_ui->tvInfo->selectionModel());
    if (rows.empty()) {
        return;
    }
    std::vector<TQVMoneyFlow*> flows;
    flows.reserve(rows.size());
    for (int row : rows) {
        flows.push_back(FMonthView->Flow(row));
    }
    QTreeView& tree = *m_ui->tvInfo;
    // A removal of scattered rows resets the grid; the user stays where he was.
    const int scrolled = tree.verticalScrollBar()->value();
    FMonthView->RemoveRows(rows);
    tree.verticalScrollBar()->setValue(scrolled);
    if (FCurrentMonth->OwnsObjects()) {
        FCurrentMonth->RemoveFlows(flows);
    } else {
        // Removed from the list of all months, the flows go from their own months too.
        Environment->DeleteFlows(flows);
    }
    // Last, so the totals are not summed over every row while the rows are still there; a reset
    // of the grid has cleared the selection already.
    tree.selectionModel()->clear();
    UpdateCashflowTotals();
}

void TfrmMain::EditSelectedMoneyFlow() {
    EditFirstSelected(*m_ui->tvInfo);
}
