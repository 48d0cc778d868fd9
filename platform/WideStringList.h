#pragma once

#include <string>
#include <string_view>
#include <vector>

// A list of UTF-16 lines, each carrying one object pointer that the list does not own. The
// environment fills these for the pick lists of the user interface.
class TWideStringList {
public:
    void Clear() { FItems.clear(); }

    // Appends a line and returns its index.
    int Add(std::u16string text, void* object = nullptr);
    int AddObject(std::u16string text, void* object) { return Add(std::move(text), object); }

    int Count() const { return static_cast<int>(FItems.size()); }
    // The line and the object at `index`; raise EListError outside 0..Count-1.
    const std::u16string& Strings(int index) const;
    void* Objects(int index) const;

    // The first line equal to `text` (exact code units), or -1.
    int IndexOf(std::u16string_view text) const;

private:
    struct TItem {
        std::u16string Text;
        void* Object;
    };
    const TItem& At(int index) const;

    std::vector<TItem> FItems;
};
