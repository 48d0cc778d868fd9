#include "model/QVSource.h"

#include "model/QVItems.h"

void TQVSource::WriteContents(TQVCFWriter& folder) {
    TQVBase::WriteContents(folder);
    QVItems::WriteText(folder, u"name", Name);
    QVItems::Write(folder, u"id", Id);
    QVItems::WriteText(folder, u"desc", Description);
    QVItems::WriteInt(folder, u"i", Icon);
    QVItems::WriteBool(folder, u"ae", AllowExpense);
    QVItems::WriteBool(folder, u"ai", AllowIncome);
    // "d" is the default flag here; in a category the same name holds the description.
    QVItems::WriteBool(folder, u"d", IsDefault);
}

void TQVSource::ReadContents(TQVCFReader& folder) {
    TQVBase::ReadContents(folder);
    Name = QVItems::ReadText(folder, u"name");
    Id = QVItems::ReadBytes(folder, u"id");
    Description = QVItems::ReadText(folder, u"desc");
    Icon = QVItems::ReadInt(folder, u"i", 0);
    AllowExpense = QVItems::ReadBool(folder, u"ae", true);
    AllowIncome = QVItems::ReadBool(folder, u"ai", true);
    IsDefault = QVItems::ReadBool(folder, u"d", false);
}
