#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVBase.h"
#include "storage/QVException.h"
#include "storage/container/QVCFInPlace.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFView.h"
#include "storage/container/QVCompoundFile.h"
#include "support/Bytes.h"
#include "support/CryptoOracle.h"
#include "support/FailingStream.h"
#include "support/FullStream.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

using namespace std::string_literals;

// The largest single allocation since the last reset, to prove that a claimed length does not
// become an allocation. The library's array forms call these; the nothrow form is replaced too,
// because a sanitizer's own would not pair with this delete. Out of line, or GCC pairs an inlined
// free with an inlined new.
static std::atomic<std::size_t> LargestAllocation{0};

[[gnu::noinline]] void* operator new(std::size_t size) {
    std::size_t largest = LargestAllocation.load(std::memory_order_relaxed);
    while (size > largest && !LargestAllocation.compare_exchange_weak(largest, size))
        ;
    if (void* p = std::malloc(size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

std::string Header(std::uint32_t info, std::uint32_t protection, std::uint32_t body) {
    return Hex("F8 34 03 1E 01 00 01 00") + LE32(info) + LE32(protection) + LE32(body);
}

const std::string InfoMarker = Hex("40 42 0F 00");
const std::string EmptyRoot = Hex("30 0B 06 01 64 30 02 1E 00 04 02 30 00");

std::string Save(TQVCompoundFile& file) {
    TMemoryStream stream;
    file.SaveToStream(stream);
    return stream.Data();
}

// "ok", or the message of the container error; any other error fails the test.
std::string Load(TQVCompoundFile& file, const std::string& bytes) {
    TMemoryStream stream(bytes);
    return Outcome<EPACFError>([&] { file.LoadFromStream(stream); });
}

std::string Load(const std::string& bytes) {
    TQVCompoundFile file;
    return Load(file, bytes);
}

// Loads from a pipe, which cannot tell its size, fed by a thread as another program would.
std::string LoadFromPipe(TQVCompoundFile& file, const std::string& bytes) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return "no pipe";
    ::signal(SIGPIPE, SIG_IGN); // a reader that stops early must not end the test
    std::thread writer([&bytes, in = ends[1]] {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(in, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(in);
    });
    std::string outcome;
    {
        TFileStream stream(ends[0], "pipe");
        outcome = Outcome<EPACFError>([&] { file.LoadFromStream(stream); });
    }
    writer.join();
    return outcome;
}

// A password handler that answers from a list, then cancels; it counts its calls.
TQVCompoundFile::TPasswordEvent Answer(std::vector<std::string> answers, int* calls = nullptr) {
    return [answers, calls, next = std::size_t(0)](TQVCompoundFile&, TSecret& password,
                                                   bool& cancel) mutable {
        if (calls)
            ++*calls;
        if (next < answers.size())
            password = answers[next++];
        else
            cancel = true;
    };
}

void Fill(TQVCFFolder& root) {
    std::string binary;
    for (int i = 0; i < 3 * 256; ++i)
        binary.push_back(static_cast<char>(i));
    root.NewFile(u"version").Data = "1";
    TQVCFFolder& accounts = root.NewFolder(u"accounts");
    TQVCFFolder& first = accounts.NewFolder(u"0");
    first.NewFile(u"name").Data = QVBase::WideToBytes(u"Caf\u00E9 \U0001F600");
    first.NewFile(u"blob").Data = binary;
    accounts.NewFolder(u"1").NewFolder(u"deeper").NewFile(u"empty");
}

} // namespace

TEST(CompoundFileTest, UnprotectedLayoutToTheByte) {
    TQVCompoundFile empty;
    EXPECT_EQ(Save(empty), Header(4, 0, 13) + InfoMarker + EmptyRoot);
    TQVCompoundFile file;
    file.Info = "0123456789ABCDEF0123456789ABCDEF";
    Fill(file.Root());
    file.OnPassword = Answer({});
    const std::string bytes = Save(file);
    const std::string body = file.Root().Encode();
    EXPECT_EQ(bytes, Header(36, 0, static_cast<std::uint32_t>(body.size())) + InfoMarker +
                         file.Info + body);
    TQVCompoundFile copy;
    copy.Protected = true;
    std::string events;
    copy.OnInfo = [&](TQVCompoundFile& sender) { events += sender.Protected ? "?" : sender.Info; };
    copy.OnPassword = [&](TQVCompoundFile&, TSecret&, bool&) { events += " password"; };
    ASSERT_EQ(Load(copy, bytes), "ok");
    EXPECT_EQ(events, file.Info);
    EXPECT_EQ(copy.Root().Encode(), body);
}

// The protection block and the body, decrypted with OpenSSL: the key is the password padded
// with zero bytes to 16, the check block's CRC is taken over its plain bytes, and the check block
// and the body are two passes that each start from the key and the IV.
TEST(CompoundFileTest, ProtectedLayoutDecryptsWithOpenSSL) {
    TQVCompoundFile file;
    file.Info = "id";
    file.Protected = true;
    Fill(file.Root());
    int calls = 0;
    file.OnPassword = Answer({"secret", "secret"}, &calls);
    const std::string bytes = Save(file);
    EXPECT_EQ(calls, 1);
    const std::string plain = file.Root().Encode();
    EXPECT_NE(Save(file), bytes); // a fresh IV and check block each time
    ASSERT_EQ(bytes.size(), 20 + 6 + 40 + plain.size());
    EXPECT_EQ(bytes.substr(0, 26),
              Header(6, 40, static_cast<std::uint32_t>(plain.size())) + InfoMarker + "id");
    const std::string protection = bytes.substr(26, 40);
    EXPECT_EQ(protection[0], '\x01');
    EXPECT_EQ(protection.substr(33, 3), "\0\0\0"s);
    const std::string key = "secret" + std::string(10, '\0');
    const std::string iv = protection.substr(1, 16);
    const std::string check = Oracle::AesCfb(key, iv, protection.substr(17, 16), false);
    EXPECT_EQ(LE32(Oracle::Crc(check)), protection.substr(36));
    EXPECT_EQ(Oracle::AesCfb(key, iv, bytes.substr(66), false), plain);
    // The handler learns of the protection before it is asked for the password.
    TQVCompoundFile copy;
    std::string events;
    copy.OnInfo = [&](TQVCompoundFile& sender) { events += sender.Protected ? "protected " : "?"; };
    copy.OnPassword = [&](TQVCompoundFile&, TSecret& password, bool&) {
        events += "password";
        password = "secret";
    };
    ASSERT_EQ(Load(copy, bytes), "ok");
    EXPECT_EQ(events, "protected password");
    EXPECT_EQ(copy.Root().Encode(), plain);
}

// Damaged and cut-short files fail with the container's error, from memory and from a pipe
// alike, without allocating what a length claims; a failed read does not count as one.
TEST(CompoundFileTest, DamagedAndShortFilesFailWithoutLargeAllocations) {
    TQVCompoundFile source;
    const std::string valid = Save(source);
    Fill(source.Root());
    const std::string plain = Save(source);
    source.Protected = true;
    const std::string locked = Save(source);
    const std::string plainBody = plain.substr(24);
    std::string badMagic = plain, otherType = locked, claimsLocked = locked;
    badMagic[3] = '\x1F';
    otherType[24] = '\x02';
    claimsLocked.replace(16, 4, LE32(0xFFFFFFFF));
    const TErrorCase cases[] = {
        {"nothing", "", "Invalid CF file"},
        {"19 bytes", plain.substr(0, 19), "Invalid CF file"},
        {"magic", badMagic, "Invalid CF file"},
        {"protection length 20", Header(8, 20, 13) + InfoMarker + "new!" + EmptyRoot,
         "Invalid CF file"},
        {"ends in the protection block", locked.substr(0, 24 + 39), "Invalid CF file"},
        {"protection type 2", otherType, "Unsupported protection type"},
        {"body cut short", plain.substr(0, plain.size() - 1), "CF item read error"},
        {"no body", plain.substr(0, 24), "Invalid CF item"},
        {"protected body cut short", locked.substr(0, locked.size() - 1), "CF item read error"},
        {"info claims 4 GiB", Header(0xFFFFFFFF, 0, 13) + InfoMarker + EmptyRoot,
         "Invalid CF item"},
        // Longer than a body may be: refused at the head.
        {"body claims 4 GiB",
         Header(4, 0, 0xFFFFFFFF) + InfoMarker + plainBody.substr(0, plainBody.size() - 1),
         "Invalid CF file"},
        {"protected body claims 4 GiB", claimsLocked.substr(0, claimsLocked.size() - 1),
         "Invalid CF file"},
        {"body claims more than the file holds",
         Header(4, 0, 0x10000000) + InfoMarker + plainBody.substr(0, plainBody.size() - 1),
         "CF item read error"},
    };
    for (const auto& c : cases) {
        for (const bool pipe : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (pipe ? " from a pipe" : ""));
            TQVCompoundFile file;
            file.OnPassword = Answer({""});
            LargestAllocation = 0;
            EXPECT_EQ(pipe ? LoadFromPipe(file, c.bytes) : Load(file, c.bytes), c.message);
            EXPECT_LT(LargestAllocation.load(), 1u << 20);
            // A failed read leaves the container unread.
            EXPECT_EQ(Load(file, valid), "ok");
        }
    }
    // The info block is read before the protection length is checked.
    TQVCompoundFile file;
    Load(file, Header(8, 20, 13) + InfoMarker + "new!" + EmptyRoot);
    EXPECT_EQ(file.Info, "new!");
    // Info lengths below 4 give empty info and take their bytes from the stream all the same.
    for (std::uint32_t length : {0u, 2u, 4u, 5u}) {
        TQVCompoundFile shortInfo;
        shortInfo.Info = "old";
        const std::string info = (InfoMarker + "X").substr(0, length);
        EXPECT_EQ(Load(shortInfo, Header(length, 0, 13) + info + EmptyRoot), "ok") << length;
        EXPECT_EQ(shortInfo.Info, length == 5 ? "X" : "") << length;
    }
}

TEST(CompoundFileTest, PasswordAttempts) {
    auto lockedWith = [](const std::string& password) {
        TQVCompoundFile file;
        file.Protected = true;
        file.OnPassword = Answer({password});
        return Save(file);
    };
    const std::string right = lockedWith("right");
    // Wrong answers are followed by another request; a cancel ends the read.
    TQVCompoundFile file;
    int calls = 0;
    file.OnPassword = Answer({"wrong1", "wrong2", "right"}, &calls);
    EXPECT_EQ(Load(file, right), "ok");
    EXPECT_EQ(calls, 3);
    TQVCompoundFile cancelled;
    cancelled.OnPassword = Answer({"wrong"});
    EXPECT_EQ(Load(cancelled, right), "Invalid key");
    cancelled.OnPassword = Answer({"right"});
    EXPECT_EQ(Load(cancelled, right), "ok");
    // Without a handler the empty password is the one attempt; a handler may leave it alone.
    EXPECT_EQ(Load(right), "Invalid key");
    EXPECT_EQ(Load(lockedWith("")), "ok");
    // Only the first 16 bytes of a password count, and zero bytes pad it.
    const std::string longOne = lockedWith("0123456789abcdefXYZ");
    for (const auto& [bytes, key] :
         {std::pair{longOne, "0123456789abcdef-other"s}, std::pair{right, "right\0\0"s}}) {
        TQVCompoundFile reader;
        reader.OnPassword = Answer({key});
        EXPECT_EQ(Load(reader, bytes), "ok") << key;
    }
}

TEST(CompoundFileTest, ReadingAgainAndFromFiles) {
    TQVCompoundFile source;
    source.Root().NewFile(u"first");
    const std::string first = Save(source);
    TQVCompoundFile file;
    ASSERT_EQ(Load(file, first), "ok");
    EXPECT_EQ(Load(file, first), "File already opened");
    // A file is read again whenever asked, and a missing one can be taken for an empty one.
    TTempDir dir;
    FileSystem::WriteFileAtomic(dir.File("first.qvb"), first);
    file.LoadFromFile(dir.File("first.qvb"), false);
    EXPECT_EQ(file.FileName(), dir.File("first.qvb"));
    EXPECT_EQ(file.Root().GetItem(0)->Name, u"first");
    EXPECT_THROW(file.LoadFromFile(dir.File("missing.qvb"), false), EOSError);
    file.LoadFromFile(dir.File("missing.qvb"), true);
    EXPECT_EQ(file.Root().Count(), 0);
    EXPECT_EQ(Load(file, first), "File already opened");
}

// Beyond a pipe's buffer, and past the size from which a stream that knows its size reads a body
// into pages of its own, a body comes back whole from a pipe, from memory and from a file.
TEST(CompoundFileTest, LargeBodiesAreReadWholeFromPipesMemoryAndFiles) {
    TTempDir dir;
    std::mt19937 rng(3);
    for (const bool locked : {false, true}) {
        TQVCompoundFile source;
        source.Info = "id";
        source.Protected = locked;
        source.OnPassword = Answer({"secret"});
        Fill(source.Root());
        source.Root().NewFile(u"large").Data = Noise(rng, 300000);
        const std::string bytes = Save(source);
        FileSystem::WriteFileAtomic(dir.File("large.qvb"), bytes);
        for (const std::string from : {"pipe", "memory", "file"}) {
            TQVCompoundFile copy;
            copy.OnPassword = Answer({"secret"});
            const std::string outcome =
                from == "pipe" ? LoadFromPipe(copy, bytes)
                : from == "memory"
                    ? Load(copy, bytes)
                    : Outcome<EPACFError>([&] { copy.LoadFromFile(dir.File("large.qvb"), false); });
            ASSERT_EQ(outcome, "ok") << from << (locked ? ", locked" : "");
            EXPECT_EQ(copy.Info, "id");
            EXPECT_EQ(copy.Root().Encode(), source.Root().Encode()) << from;
        }
    }
}

namespace {

// What a reader of the budget asks of a folder: the files it knows by name, and every sub-folder
// in turn, on several threads at once with `concurrent` where the folder is large. Gives the
// answers as text, the sub-folders in the order stored.
std::string Dump(TQVCFReader& folder, bool concurrent) {
    std::string dump;
    for (const char16_t* name :
         {u"version", u"name", u"blob", u"empty", u"noise", u"sum", u"count", u"x", u"large"}) {
        std::string_view data;
        if (folder.File(name, data))
            dump += QVBase::WideToBytes(name) + "=" + Escaped(std::string(data)) + ";";
    }
    std::map<std::size_t, std::string> seen;
    std::mutex lock;
    folder.Folders(
        [&](std::size_t index, std::u16string_view name, TQVCFReader& sub) {
            std::string inner = QVBase::WideToBytes(name) + "/{" + Dump(sub, false) + "}";
            const std::lock_guard<std::mutex> hold(lock);
            seen[index] = std::move(inner);
        },
        concurrent);
    for (const auto& [index, inner] : seen)
        dump += inner;
    return dump;
}

// The outcome of reading `bytes` and asking everything of its body: read whole into a tree, or
// in place; `seen` gets the answers.
std::string Read(const std::string& bytes, bool inPlace, std::string& seen,
                 bool concurrent = false) {
    TQVCompoundFile file;
    file.OnPassword = Answer({"secret"});
    TMemoryStream stream(bytes);
    return Outcome<EPACFError>([&] {
        if (!inPlace) {
            file.LoadFromStream(stream);
            TQVCFView::Read(file.Root(), [&](TQVCFReader& root) { seen = Dump(root, false); });
            return;
        }
        file.ReadInPlace(stream, [&](TQVCFReader& root) { seen = Dump(root, concurrent); });
    });
}

} // namespace

// A body read in place, its large folder visited one sub-folder at a time or several at once,
// gives the answers, and the errors, of the body read at once: plain or protected, cut short, or
// with a fault inside the large folder that only its visit meets.
TEST(CompoundFileTest, ReadInPlaceGivesWhatTheWholeBodyGives) {
    std::mt19937 rng(5);
    TQVCompoundFile source;
    Fill(source.Root());
    TQVCFFolder& large = source.Root().NewFolder(u"large");
    for (int i = 0; i < 40; ++i) {
        const std::string name = std::to_string(i);
        TQVCFFolder& month = large.NewFolder(std::u16string(name.begin(), name.end()));
        month.NewFile(u"noise").Data = Noise(rng, 20000 + 1000 * i);
        month.NewFolder(u"flows").NewFolder(u"0").NewFile(u"sum").Data = std::to_string(i);
    }
    large.NewFile(u"count").Data = "40";
    source.Root().NewFolder(u"zlast").NewFile(u"x").Data = "after the large folder";
    const std::string plain = source.Root().Encode();
    ASSERT_GT(plain.size(), TQVCFInPlaceFolder::RunBytes);
    const std::size_t tag = plain.find("\x06\x01\x66"s, plain.size() / 2);
    ASSERT_NE(tag, std::string::npos);

    for (const bool locked : {false, true}) {
        source.Protected = locked;
        source.OnPassword = Answer({"secret"});
        const std::string bytes = Save(source);
        const std::size_t body = bytes.size() - plain.size();
        std::string damaged = bytes;
        // In the protected file the byte decrypts to "g" and the block after it to noise.
        damaged[body + tag + 2] = static_cast<char>(damaged[body + tag + 2] ^ ('f' ^ 'g'));
        const struct {
            const char* name;
            std::string bytes;
        } cases[] = {
            {"whole", bytes}, {"cut", bytes.substr(0, bytes.size() - 10)}, {"damaged", damaged}};
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (locked ? " locked" : ""));
            std::string whole, inPlace, together;
            const std::string expected = Read(c.bytes, false, whole);
            EXPECT_EQ(Read(c.bytes, true, inPlace), expected);
            EXPECT_EQ(inPlace, whole);
            EXPECT_EQ(Read(c.bytes, true, together, true), expected);
            EXPECT_EQ(together, whole);
            if (c.name == std::string("whole")) {
                EXPECT_EQ(expected, "ok");
            }
        }
    }
}

// A read that fails part-way names the system's reason, not a damaged file, wherever it stops:
// in the header, in the protection block, at the body's head or inside the large folder; and
// a file that another program writes meanwhile is told as such.
TEST(CompoundFileTest, ReadErrorsAndChangesAreToldAsThey) {
    TQVCompoundFile source;
    Fill(source.Root());
    std::mt19937 rng(9);
    TQVCFFolder& large = source.Root().NewFolder(u"large");
    for (int i = 0; i < 8; ++i)
        large.NewFolder(std::u16string(1, static_cast<char16_t>(u'0' + i))).NewFile(u"noise").Data =
            Noise(rng, 300000);
    source.Protected = true;
    source.OnPassword = Answer({"secret"});
    const std::string bytes = Save(source);
    for (const std::size_t good :
         {std::size_t{10}, std::size_t{40}, std::size_t{100}, bytes.size() / 2, bytes.size() - 1}) {
        for (const bool changes : {false, true}) {
            SCOPED_TRACE(std::to_string(good) + (changes ? " changes" : " fails"));
            TFailingStream stream(bytes, good, changes);
            TQVCompoundFile file;
            file.OnPassword = Answer({"secret"});
            const std::string outcome = Outcome(
                [&] { file.ReadInPlace(stream, [](TQVCFReader& root) { Dump(root, true); }); });
            EXPECT_EQ(outcome, changes ? TFailingStream::Changed : TFailingStream::Failed);
        }
    }
}

// A file whose last change is only moments old may still be being written under the times it
// shows, so it is not read at all, not even its head; once the file is still it is read.
TEST(CompoundFileTest, AFileChangedMomentsAgoIsNotReadYet) {
    TQVCompoundFile source;
    Fill(source.Root());
    TTempDir dir;
    const std::string path = dir.File("budget.qn");
    FileSystem::WriteFileAtomic(path, Save(source));
    for (const bool still : {false, true}) {
        SCOPED_TRACE(still);
        if (still)
            ASSERT_TRUE(FileSystem::WaitUntilStill(path));
        TFileStream stream(path, TFileMode::OpenRead);
        TQVCompoundFile file;
        bool headRead = false;
        file.OnInfo = [&](TQVCompoundFile&) { headRead = true; };
        const std::string outcome = Outcome<EFileChanged>(
            [&] { file.ReadInPlace(stream, [](TQVCFReader& root) { Dump(root, false); }); });
        EXPECT_EQ(outcome, still ? "ok"
                                 : "Cannot open file \"" + path +
                                       "\": another program changed it while it was being read");
        EXPECT_EQ(headRead, still);
    }
}

TEST(CompoundFileTest, WriteFailuresLeaveTheStreamAlone) {
    TQVCompoundFile file;
    Fill(file.Root());
    const std::string whole = Save(file);
    for (std::size_t limit : {std::size_t(0), std::size_t(23), std::size_t(24), whole.size() - 1}) {
        TFullStream stream(limit);
        EXPECT_THROW(file.SaveToStream(stream), EWriteError) << limit;
    }
    TFullStream enough(whole.size());
    file.SaveToStream(enough);
    EXPECT_EQ(enough.Data(), whole);
    // A handler that cancels while writing stops the write before anything reaches the stream.
    file.Protected = true;
    file.OnPassword = Answer({});
    TMemoryStream stream;
    EXPECT_EQ(Outcome<EPACFError>([&] { file.SaveToStream(stream); }), "Invalid key");
    EXPECT_EQ(stream.Size(), 0u);
}
