#include "model/QVExpenseItem.h"

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

void TQVExpenseItem::ReadContents(TQVCFFolder& folder) {
    TQVMoneyFlow::ReadContents(folder);
    Location = ReadExpenseLocationRef(folder, u"lid");
    Source = ReadSourceRef(folder, u"sid");
}
