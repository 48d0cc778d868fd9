#include "storage/container/QVCFWriter.h"

#include "storage/container/QVCFEncode.h"

#include "storage/container/QVCFItem.h"

void TQVCFTreeWriter::File(std::u16string_view name, std::string_view data) {
    FFolder.NewFile(name).Data = data;
}

void TQVCFTreeWriter::Text(std::u16string_view name, std::u16string_view text) {
    std::string& data = FFolder.NewFile(name).Data;
    data.resize(2 * text.size());
    QVCFEncode::PutUnits(reinterpret_cast<std::uint8_t*>(data.data()), text);
}

void TQVCFTreeWriter::List(std::u16string_view name, int count, const TWriteEach& write) {
    TQVCFFolder& list = FFolder.NewFolder(name);
    QVCFList::ForEachIndex(count, [&](int index) {
        char16_t units[QVCFList::MaxNameUnits];
        TQVCFTreeWriter child(list.NewFolder({units, QVCFList::IndexName(index, units)}));
        write(index, child);
    });
}
