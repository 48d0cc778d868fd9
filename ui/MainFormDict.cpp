// The personalisation page: the expense or the income categories, with their enabled flags.
#include <QHeaderView>

#include "model/QVEnvironment.h"
#include "ui/MainForm.h"
#include "ui/QVDictView.h"
#include "ui/QVUIUtils.h"
#include "ui_MainForm.h"

using QVUIUtils::Lang;

namespace {

enum { kExpenseKind = 1, kIncomeKind = 2 };

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
    view->Kind = kind;
    view->SetImageIndex(1);
    BindModel(*m_ui->tvDict, view.get());
    FDictView = std::move(view);
    m_ui->tvDict->setColumnWidth(0, 220);
    m_ui->tvDict->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    m_ui->tvDict->header()->setSectionResizeMode(2, QHeaderView::Fixed);
    m_ui->tvDict->setColumnWidth(2, 80);
}
