#include "model/QVReceiptItem.h"

void TQVIncomeItem::Assign(const TQVMoneyFlow& other) {
    AssignCommon(other);
    const auto& income = static_cast<const TQVIncomeItem&>(other);
    Source = income.Source;
    Location = income.Location;
}

void TQVIncomeItem::WriteContents(TQVCFWriter& folder) {
    TQVMoneyFlow::WriteContents(folder);
    WriteSourceRef(folder, u"sid", Source);
    WriteLocationRef(folder, u"lid", Location);
}

void TQVIncomeItem::ReadContents(TQVCFFolder& folder) {
    TQVMoneyFlow::ReadContents(folder);
    Source = ReadSourceRef(folder, u"sid");
    Location = ReadIncomeLocationRef(folder, u"lid");
}
