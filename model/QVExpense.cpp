#include "model/QVExpense.h"

#include "model/QVItems.h"

void TQVExpense::WriteContents(TQVCFWriter& folder) {
    TQVBase::WriteContents(folder);
    QVItems::WriteText(folder, u"name", Name);
    QVItems::Write(folder, u"id", Id);
}

void TQVExpense::ReadContents(TQVCFReader& folder) {
    TQVBase::ReadContents(folder);
    Name = QVItems::ReadText(folder, u"name");
    Id = QVItems::ReadBytes(folder, u"id");
}
