#include "model/QVLocation.h"

#include "model/QVItems.h"

void TQVLocation::WriteContents(TQVCFWriter& folder) {
    TQVBase::WriteContents(folder);
    QVItems::WriteText(folder, u"name", Name);
    QVItems::Write(folder, u"id", Id);
    QVItems::WriteText(folder, u"d", Description);
    QVItems::WriteBool(folder, u"e", Enabled);
}

void TQVLocation::ReadContents(TQVCFReader& folder) {
    TQVBase::ReadContents(folder);
    Name = QVItems::ReadText(folder, u"name");
    Description = QVItems::ReadText(folder, u"d");
    Id = QVItems::ReadBytes(folder, u"id");
    Enabled = QVItems::ReadBool(folder, u"e", true);
}
