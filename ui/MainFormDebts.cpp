// The debts and loans page: either list in one grid, with its totals line.
#include <algorithm>

#include <QApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QTreeView>

#include "model/QVEnvironment.h"
#include "ui/MainForm.h"
#include "ui/QVDebtsView.h"
#include "ui/QVGrids.h"
#include "ui/QVTVComboEditor.h"
#include "ui/QVUIUtils.h"
#include "ui_MainForm.h"

using QVUIUtils::FromQ;
using QVUIUtils::Lang;

namespace {

// The debts and the loans menus differ only in their commands and the new item's caption.
void FillDebtsMenu(QMenu& menu, bool selected, const QString& newCaption,
                   const std::function<void()>& edit, const std::function<void()>& remove,
                   const std::function<void()>& add) {
    QVGrids::ClearMenu(menu);
    const TImageList& images = QVImages::Debts();
    QAction* editItem = menu.addAction(images.Icon(0), Lang(u"MNU_EDIT"), edit);
    editItem->setEnabled(selected);
    menu.setDefaultAction(editItem);
    menu.addSeparator();
    menu.addAction(images.Icon(2), Lang(u"MNU_REMOVE"), remove)->setEnabled(selected);
    menu.addSeparator();
    menu.addAction(images.Icon(1), newCaption, add);
}

} // namespace

void TfrmMain::ShowDebts() {
    ShowDebtList(false);
}

void TfrmMain::ShowCredits() {
    ShowDebtList(true);
}

void TfrmMain::ShowDebtList(bool credits) {
    m_ui->lblHeader->setText(Lang(credits ? u"HEADER_CREDITS" : u"HEADER_DEBTS"));
    SetHeaderPicture(QVImages::DebtsLoans(), credits ? 0 : 1);
    std::vector<TQVMoneyFlow*> items;
    const int count = credits ? Environment->CreditCount() : Environment->DebtCount();
    for (int i = 0; i < count; ++i) {
        items.push_back(credits ? static_cast<TQVMoneyFlow*>(Environment->GetCredit(i))
                                : Environment->GetDebt(i));
    }
    auto view = std::make_unique<TQVDebtsView>(std::move(items));
    view->OnNewText = [this](TQVMoneyFlow& flow, int column, const QString& text) {
        tvDebtsNewText(flow, column, text);
    };
    BindModel(*m_ui->tvDebts, view.get());
    FDebtsView = std::move(view);
    // The deadline is kept in the files but nothing sets it: its column stays hidden.
    m_ui->tvDebts->setColumnHidden(3, true);
    connect(m_ui->tvDebts->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmMain::UpdateDebtTotals);
    UpdateDebtTotals();
    m_ui->pBottomCashflow->show();
}

void TfrmMain::UpdateDebtTotals() {
    if (!FDebtsView) {
        return;
    }
    std::vector<int> rows;
    for (const QModelIndex& index : m_ui->tvDebts->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    if (rows.empty()) {
        for (int row = 0; row < FDebtsView->rowCount(); ++row) {
            rows.push_back(row);
        }
    }
    // A debt is kept as an income and a loan as an expense: the debts list totals as income,
    // the loans list as expense.
    long double income = 0, expense = 0;
    for (int row : rows) {
        const TQVMoneyFlow* flow = FDebtsView->Flow(row);
        (flow->Kind() == TQVFlowKind::Expense ? expense : income) += flow->Sum;
    }
    SetTotals(income, expense, static_cast<int>(rows.size()), QString());
}

void TfrmMain::ConnectDebts() {
    // The stock text editor in every cell, selecting the old text as the other grids do.
    m_ui->tvDebts->setItemDelegate(new TQVCellDelegate(m_ui->tvDebts));
    QVGrids::ShowFocusedCell(*m_ui->tvDebts);
    QVGrids::KeepColumnWidths(*m_ui->tvDebts, {240, 120, 80, 70});
    // Typing over a row opens its editor in the current column, starting with the character.
    WatchGridKeys(*m_ui->tvDebts, [this](QKeyEvent& event) {
        if (QVGrids::MoveFocusedColumn(*m_ui->tvDebts, event)) {
            return true;
        }
        if (!TypesCharacter(*m_ui->tvDebts, event)) {
            return false;
        }
        EditFirstSelected(*m_ui->tvDebts, event.text());
        return true;
    });
}

void TfrmMain::tvDebtsNewText(TQVMoneyFlow& flow, int column, const QString& text) {
    switch (column) {
    case TQVDebtsView::ColTitle:
        flow.Name = FromQ(text);
        break;
    case TQVDebtsView::ColPeer:
        flow.PeerName = FromQ(text);
        break;
    case TQVDebtsView::ColSum:
        // A text that is no number raises and keeps the old amount; the cell delegate shows why.
        flow.Sum = QVUIUtils::ParseMoney(text);
        UpdateDebtTotals();
        break;
    default:
        break;
    }
}

void TfrmMain::AddDebtRow() {
    AddDebtOrCreditRow(false);
}

void TfrmMain::AddCreditRow() {
    AddDebtOrCreditRow(true);
}

void TfrmMain::AddDebtOrCreditRow(bool credit) {
    if (!FDebtsView) {
        return;
    }
    TQVMoneyFlow* flow =
        credit ? static_cast<TQVMoneyFlow*>(Environment->GetCredit(Environment->AddCredit()))
               : Environment->GetDebt(Environment->AddDebt());
    flow->Sum = 0;
    QTreeView& tree = *m_ui->tvDebts;
    const QModelIndex title = FDebtsView->index(FDebtsView->AppendFlow(flow), 0);
    tree.selectionModel()->setCurrentIndex(title, QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
    tree.scrollTo(title);
    TQVCellDelegate::Edit(tree, title);
}

void TfrmMain::RemoveSelectedDebts() {
    RemoveSelectedDebtsOrCredits(false);
}

void TfrmMain::RemoveSelectedCredits() {
    RemoveSelectedDebtsOrCredits(true);
}

void TfrmMain::RemoveSelectedDebtsOrCredits(bool credits) {
    if (!FDebtsView) {
        return;
    }
    QItemSelectionModel& selection = *m_ui->tvDebts->selectionModel();
    std::vector<TQVMoneyFlow*> flows;
    for (int row : QVUIUtils::SelectedRows(selection)) {
        flows.push_back(FDebtsView->Flow(row));
    }
    const TQVFlowKind kind = credits ? TQVFlowKind::Expense : TQVFlowKind::Income;
    for (TQVMoneyFlow* flow : flows) {
        if (flow->Kind() != kind) {
            continue;
        }
        // The row goes before its object is freed: the totals, recomputed as the selection
        // shrinks, read the rows that are left.
        FDebtsView->RemoveRow(FDebtsView->RowOf(flow));
        if (credits) {
            Environment->RemoveCredit(static_cast<TQVExpenseItem*>(flow));
        } else {
            Environment->RemoveDebt(static_cast<TQVIncomeItem*>(flow));
        }
    }
    selection.clearSelection();
    UpdateDebtTotals();
}

void TfrmMain::EditSelectedDebt() {
    EditFirstSelected(*m_ui->tvDebts);
}

void TfrmMain::NewDebtFromMenu() {
    NewDebtOrCreditFromMenu(false);
}

void TfrmMain::NewCreditFromMenu() {
    NewDebtOrCreditFromMenu(true);
}

void TfrmMain::NewDebtOrCreditFromMenu(bool credit) {
    ShowDebtsPage();
    // The list's button shows it and stays pressed, so the new row lands in the list shown.
    LeftBarButtonClick(credit ? 1 : 0);
    AddDebtOrCreditRow(credit);
}

void TfrmMain::BuildDebtsMenu(QMenu& menu) {
    FillDebtsMenu(
        menu, m_ui->tvDebts->selectionModel() && m_ui->tvDebts->selectionModel()->hasSelection(),
        Lang(u"MNU_NEW_DEBT"), [this] { EditSelectedDebt(); }, [this] { RemoveSelectedDebts(); },
        [this] { AddDebtRow(); });
}

void TfrmMain::BuildCreditsMenu(QMenu& menu) {
    FillDebtsMenu(
        menu, m_ui->tvDebts->selectionModel() && m_ui->tvDebts->selectionModel()->hasSelection(),
        Lang(u"MNU_NEW_CREDIT"), [this] { EditSelectedDebt(); },
        [this] { RemoveSelectedCredits(); }, [this] { AddCreditRow(); });
}
