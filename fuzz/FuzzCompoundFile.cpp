// Reads arbitrary bytes as a container file. Read in place it must give what it gives read whole;
// whatever reads must write back and read again to the same tree, info and protection; any other
// outcome than a clean Exception aborts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/Stream.h"
#include "storage/QVCFBodySource.h"
#include "storage/QVCFItem.h"
#include "storage/QVCompoundFile.h"

namespace {

// The seed corpus's protected files use this password.
const std::string FuzzPassword = "fuzz";

// Answers with the fuzz password, then with two others so the retry path runs too, then gives up.
// `used` ends as the last password given, which is the one that opened the file.
TQVCompoundFile::TPasswordEvent Answers(std::string& used) {
    return [&used, attempt = 0](TQVCompoundFile&, std::string& password, bool& cancel) mutable {
        static const std::string Others[] = {FuzzPassword, "", "fuzzfuzzfuzzfuzz-longer"};
        if (attempt == 3) {
            cancel = true;
            return;
        }
        password = Others[attempt++];
        used = password;
    };
}

// Gives `password` once; a second request means it did not open the file.
TQVCompoundFile::TPasswordEvent Once(const std::string& password) {
    return [password, given = false](TQVCompoundFile&, std::string& out, bool& cancel) mutable {
        cancel = given;
        out = password;
        given = true;
    };
}

// Every name of the built folder's children, as stored and in capitals, looked up in a copy that
// keeps its children encoded, finds what the built folder finds.
void CompareLookups(TQVCFFolder& built) {
    TQVCFFolder packed;
    packed.LoadFromBytes(built.Encode());
    for (int i = 0; i < built.Count(); ++i) {
        std::u16string upper = built.GetItem(i)->Name;
        for (char16_t& unit : upper)
            unit = unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
        for (const std::u16string& name : {built.GetItem(i)->Name, upper}) {
            std::string_view data;
            const bool found = packed.FindFileData(name, data);
            const auto* file = dynamic_cast<const TQVCFFile*>(built.FindItem(name, false));
            if (found != (file != nullptr) || (found && data != file->Data))
                std::abort();
        }
    }
}

std::string Save(TQVCompoundFile& file, const std::string& password) {
    file.OnPassword = Once(password);
    TMemoryStream stream;
    file.SaveToStream(stream);
    return stream.Data();
}

// What a budget reader asks of a tree: each folder below the root drained, on several threads
// with `concurrent`, then the encoding of what is left.
std::string Visit(TQVCFFolder& root, bool concurrent) {
    std::map<std::size_t, std::string> seen;
    std::string all;
    std::mutex lock;
    for (int i = 0; i < root.Count(); ++i) {
        auto* folder = dynamic_cast<TQVCFFolder*>(root.GetItem(i));
        std::vector<TQVCFFolder::TPackedFolder> packed;
        if (folder == nullptr || !folder->PackedFolders(packed))
            continue;
        seen.clear();
        folder->DrainFolders(
            packed,
            [&](std::size_t index, TQVCFFolder& view) {
                std::string encoding = view.Encode();
                const std::lock_guard<std::mutex> hold(lock);
                seen[index] = std::move(encoding);
            },
            concurrent);
        for (const auto& [index, encoding] : seen)
            all += std::to_string(index) + encoding;
    }
    return all + root.Encode();
}

// The outcome of reading `bytes` and visiting the tree: read whole, or in place with every folder
// below the root left unread until visited, where a part found faulty late makes the reader start
// again from the whole body.
std::string Read(const std::string& bytes, bool inPlace, bool concurrent, std::string& seen) {
    TQVCompoundFile file;
    std::string password;
    file.OnPassword = Answers(password);
    TMemoryStream input(bytes);
    try {
        if (!inPlace) {
            file.LoadFromStream(input);
            seen = Visit(file.Root(), false);
        } else {
            file.LoadInPlace(input, 0);
            try {
                seen = Visit(file.Root(), concurrent);
            } catch (const EPACFReadAgain&) {
                file.ReadWhole();
                seen = Visit(file.Root(), concurrent);
            }
        }
    } catch (const Exception& error) {
        return error.what();
    }
    return "ok";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string whole, inPlace;
    // Every other input has its folders built on several threads at once.
    const bool concurrent = size > 0 && (data[size - 1] & 1) != 0;
    if (Read(bytes, false, false, whole) != Read(bytes, true, concurrent, inPlace) ||
        whole != inPlace)
        std::abort();

    TQVCompoundFile first;
    std::string password;
    first.OnPassword = Answers(password);
    try {
        TMemoryStream input(bytes);
        first.LoadFromStream(input);
    } catch (const Exception&) {
        return 0;
    }

    CompareLookups(first.Root());

    // A tree that was read must survive a write and a second read unchanged.
    TQVCompoundFile second;
    std::string saved, resaved;
    try {
        saved = Save(first, password);
        TMemoryStream stream(saved);
        second.OnPassword = Once(password);
        second.LoadFromStream(stream);
        resaved = Save(second, password);
    } catch (const Exception&) {
        std::abort();
    }
    if (second.Root().Encode() != first.Root().Encode() || second.Info != first.Info ||
        second.Protected != first.Protected)
        std::abort();
    // Without protection nothing random enters the file, so the bytes repeat exactly.
    if (!first.Protected && resaved != saved)
        std::abort();
    return 0;
}
