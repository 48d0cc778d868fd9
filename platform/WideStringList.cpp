#include "platform/WideStringList.h"

#include "platform/Exception.h"

int TWideStringList::Add(std::u16string text, void* object) {
    FItems.push_back({std::move(text), object});
    return Count() - 1;
}

const TWideStringList::TItem& TWideStringList::At(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FItems[static_cast<std::size_t>(index)];
}

const std::u16string& TWideStringList::Strings(int index) const {
    return At(index).Text;
}

void* TWideStringList::Objects(int index) const {
    return At(index).Object;
}

int TWideStringList::IndexOf(std::u16string_view text) const {
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (FItems[i].Text == text)
            return static_cast<int>(i);
    }
    return -1;
}
