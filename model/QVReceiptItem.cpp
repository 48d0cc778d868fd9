#include "model/QVReceiptItem.h"

#include "model/QVItems.h"

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

void TQVIncomeItem::ReadValues(const QVItems::TValues& values) {
    TQVMoneyFlow::ReadValues(values);
    ReadSourceRef(Source, values.Find(ItemSource));
    Location = IncomeLocationRef(values.Find(ItemLocation));
}
