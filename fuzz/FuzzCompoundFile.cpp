// Reads arbitrary bytes as a container file. Read in place, in tiny runs, it must read exactly
// when the tree read whole reads, and answer as the tree does; whatever reads must write back and
// read again to the same tree, info and protection; any other outcome than a clean Exception
// aborts.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/Stream.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFReader.h"
#include "storage/container/QVCompoundFile.h"

namespace {

// The seed corpus's protected files use this password.
const std::string FuzzPassword = "fuzz";

// Answers with the fuzz password, then with two others so the retry path runs too, then gives up.
// `used` ends as the last password given, which is the one that opened the file.
TQVCompoundFile::TPasswordEvent Answers(std::string& used) {
    return [&used, attempt = 0](TQVCompoundFile&, TSecret& password, bool& cancel) mutable {
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
    return [password, given = false](TQVCompoundFile&, TSecret& out, bool& cancel) mutable {
        cancel = given;
        out = password;
        given = true;
    };
}

std::string Save(TQVCompoundFile& file, const std::string& password) {
    file.OnPassword = Once(password);
    TMemoryStream stream;
    file.SaveToStream(stream);
    return stream.Data();
}

void Check(bool holds) {
    if (!holds)
        std::abort();
}

// Every name of the tree that a reader may be asked (not empty, no "/"), as stored and in
// capitals, finds in `reader` what FindItem finds in the tree; its sub-folders, visited on several
// threads with `concurrent`, are the tree's and read alike.
void Compare(TQVCFReader& reader, TQVCFFolder& tree, bool concurrent) {
    for (int i = 0; i < tree.Count(); ++i) {
        std::u16string upper = tree.GetItem(i)->Name;
        for (char16_t& unit : upper)
            unit = unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
        for (const std::u16string& name : {tree.GetItem(i)->Name, upper}) {
            if (name.empty() || name.find(u'/') != std::u16string::npos)
                continue;
            TQVCFItem* item = tree.FindItem(name, false);
            std::string_view data;
            const bool found = reader.File(name, data);
            const auto* file = dynamic_cast<const TQVCFFile*>(item);
            Check(found == (file != nullptr) && (!found || data == file->Data));
            auto* folder = dynamic_cast<TQVCFFolder*>(item);
            bool visited = false;
            reader.Folder(name, [&](TQVCFReader& sub) {
                visited = true;
                Check(folder != nullptr);
                Compare(sub, *folder, false);
            });
            Check(visited == (folder != nullptr));
        }
    }
    int folders = 0;
    for (int i = 0; i < tree.Count(); ++i)
        folders += tree.GetItem(i)->IsFolder() ? 1 : 0;
    std::atomic<int> visited{0};
    reader.Folders([&](std::size_t, std::u16string_view, TQVCFReader&) { ++visited; }, concurrent);
    Check(visited == folders);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    TQVCompoundFile first;
    std::string password;
    first.OnPassword = Answers(password);
    bool whole = true;
    try {
        TMemoryStream input(bytes);
        first.LoadFromStream(input);
    } catch (const Exception&) {
        whole = false;
    }

    // Read in place with runs of a few dozen bytes, so that most folders are read in place; every
    // other input has its large folders visited on several threads at once.
    const bool concurrent = size > 0 && (data[size - 1] & 1) != 0;
    TQVCompoundFile inPlace;
    std::string inPlacePassword;
    inPlace.OnPassword = Answers(inPlacePassword);
    bool read = true;
    try {
        TMemoryStream input(bytes);
        inPlace.ReadInPlace(
            input,
            [&](TQVCFReader& root) {
                // A look-up first, as a budget's reader makes: what it passes over is read
                // afterwards all the same.
                std::string_view title;
                root.File(u"title", title);
                if (whole)
                    Compare(root, first.Root(), concurrent);
            },
            48);
    } catch (const Exception&) {
        read = false;
    }
    Check(read == whole);
    if (!whole)
        return 0;

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
