#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "storage/QVBase.h"
#include "storage/container/QVCFItem.h"

// Container items encoded independently of the code under test, with lengths in the writer's
// form (shortest definite), in the long form even where one octet would do (Padded, or Mixed:
// every other length so), with eight length octets, or indefinite where constructed. The first
// three are read straight from the bytes, the others through the general tag tree, so the reader
// cases run in more than one form to reach both readers.
enum class Form { Short, Padded, Mixed, Long, Indefinite };
inline int MixedCount = 0;
inline Form BuildForm = Form::Short;

struct TUseForm {
    explicit TUseForm(Form form) { BuildForm = form; }
    ~TUseForm() { BuildForm = Form::Short; }
};

inline std::string Der(int tag, const std::string& content) {
    std::string out(1, static_cast<char>(tag));
    if (BuildForm == Form::Indefinite && (tag & 0x20) != 0)
        return out + "\x80" + content + std::string(2, '\0');
    if (BuildForm == Form::Long) {
        out.push_back('\x88');
        for (int i = 7; i >= 0; --i)
            out.push_back(static_cast<char>(content.size() >> (8 * i)));
    } else if (content.size() < 128 &&
               (BuildForm == Form::Short || (BuildForm == Form::Mixed && ++MixedCount % 2 == 0))) {
        out.push_back(static_cast<char>(content.size()));
    } else {
        std::string length;
        for (std::size_t n = content.size(); n > 0; n >>= 8)
            length.insert(length.begin(), static_cast<char>(n));
        if (length.empty())
            length.push_back('\0');
        out += static_cast<char>(0x80 + length.size()) + length;
    }
    return out + content;
}

inline std::string NameElement(std::u16string_view name) {
    return Der(0x1E, QVBase::WideToBytes(name));
}

inline std::string Item(const std::string& type, const std::string& names,
                        const std::string& content) {
    return Der(0x30, Der(0x06, type) + Der(0x30, names) + Der(0x04, content));
}

inline std::string FileItem(std::u16string_view name, const std::string& data) {
    return Item("f", NameElement(name), Der(0x04, data));
}

inline std::string FolderItem(std::u16string_view name,
                              std::initializer_list<std::string> children) {
    std::string content;
    for (const std::string& child : children)
        content += Der(0x04, child);
    return Item("d", NameElement(name), Der(0x30, content));
}

// Reads `bytes`, which the folder does not keep, into `folder`.
inline void LoadBuffer(TQVCFFolder& folder, std::string_view bytes) {
    folder.LoadFromBuffer(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                          static_cast<std::uint32_t>(bytes.size()));
}

// A built item encoded in the form in use.
inline std::string Built(const TQVCFItem& item) {
    if (!item.IsFolder())
        return FileItem(item.Name, static_cast<const TQVCFFile&>(item).Data);
    const auto& folder = static_cast<const TQVCFFolder&>(item);
    std::string children;
    for (int i = 0; i < folder.Count(); ++i)
        children += Der(0x04, Built(*folder.GetItem(i)));
    return Item("d", NameElement(item.Name), Der(0x30, children));
}

// A built item with every length in the eight-octet form, which only the general reader takes.
inline std::string LongForm(const TQVCFItem& item) {
    TUseForm use(Form::Long);
    return Built(item);
}
