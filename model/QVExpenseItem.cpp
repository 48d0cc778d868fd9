#include "model/QVExpenseItem.h"

#include "model/QVItems.h"

void TQVExpenseItem::Assign(const TQVMoneyFlow& other) {
    AssignCommon(other);
    const auto& expense = static_cast<const TQVExpenseItem&>(other);
    Source = expense.Source;
    Location = expense.Location;
}

void TQVExpenseItem::WriteContents(TQVCFWriter& folder) {
    TQVMoneyFlow::WriteContents(folder);
    WriteLocationRef(folder, u"lid", Location);
    WriteSourceRef(folder, u"sid", Source);
}

void TQVExpenseItem::ReadValues(const QVItems::TValues& values) {
    TQVMoneyFlow::ReadValues(values);
    Location = ExpenseLocationRef(values.Find(ItemLocation));
    ReadSourceRef(Source, values.Find(ItemSource));
}
