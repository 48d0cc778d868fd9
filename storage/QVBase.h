#pragma once

#include <string>
#include <string_view>

class TQVCFFolder;
class TQVCFReader;
class TQVCFWriter;

// Base of every object that is stored as a folder of a container: a file "type" holding the
// class's type string, beside the object's own items.
class TQVBase {
public:
    virtual ~TQVBase() = default;

    // The class's type string. Each persisted class hides this with its own and overrides
    // GetTypeName to answer it, so the type can be asked with or without an object.
    static std::string_view ClassTypeName() { return "base"; }
    virtual std::string_view GetTypeName() const { return ClassTypeName(); }
    virtual void WriteContents(TQVCFWriter& folder);
    virtual void ReadContents(TQVCFReader& folder);

    // Adds "type" and the contents to a new, empty folder.
    void SaveToFolder(TQVCFFolder& folder);
    // The same through a writer.
    void SaveToFolder(TQVCFWriter& folder);
    // Checks "type" (exact bytes) and reads the contents; raises EQVException "Invalid object"
    // and leaves the object unchanged when the type does not match.
    void LoadFromFolder(TQVCFReader& folder);
    // The same from a folder of an item tree.
    void LoadFromFolder(const TQVCFFolder& folder);
};

// True when class T's type string equals `typeName` byte for byte.
template <class T> bool HasTypeName(std::string_view typeName) {
    return T::ClassTypeName() == typeName;
}

// Shared helpers for paths, identifiers and the text encoding inside stored items.
namespace QVBase {

// The per-user data folder of the program, ending in "/" ($XDG_DATA_HOME/Tavrin Group/Quillvane/).
// Without a data folder the result is the sub-path alone, beginning with "/". Not created here.
std::string GetAppDataFolder(bool perUser);

// UTF-16 code units as bytes, low byte first, no terminator; and back (an odd last byte is
// dropped).
std::string WideToBytes(std::u16string_view text);
std::u16string BytesToWide(std::string_view bytes);

// A new identifier: 32 upper-case hexadecimal digits made from a GUID.
std::string CreateGUIDString();

// The running program's folder (ending in "/") and full path.
std::string GetExeFolder();
std::string GetExeName();
// The folder of the program's shipped data ("lang/", "help/"), ending in "/": the program's own
// folder when it holds "lang/" (the build tree), else ../share/quillvane/ beside it when that does
// (an installed program), else the program's folder.
std::string GetProgramDataFolder();

// The user's documents folder without a trailing "/", or the desktop, or empty.
std::string GetDocumentsFolder();

} // namespace QVBase
