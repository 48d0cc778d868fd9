#include "model/QVA2A.h"

#include "model/QVItems.h"

void TQVA2AItem::Assign(const TQVMoneyFlow& other) {
    AssignCommon(other);
    const auto& transfer = static_cast<const TQVA2AItem&>(other);
    Source = transfer.Source;
    Destination = transfer.Destination;
}

void TQVA2AItem::WriteContents(TQVCFWriter& folder) {
    TQVMoneyFlow::WriteContents(folder);
    WriteSourceRef(folder, u"sid", Source);
    WriteSourceRef(folder, u"did", Destination);
}

void TQVA2AItem::ReadValues(const QVItems::TValues& values) {
    TQVMoneyFlow::ReadValues(values);
    ReadSourceRef(Source, values.Find(ItemSource));
    ReadSourceRef(Destination, values.Find(ItemDestination));
}
