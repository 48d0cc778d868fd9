#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVBase.h"
#include "storage/QVCRC.h"
#include "storage/QVCompoundFile.h"
#include "storage/QVException.h"
#include "support/FailingStream.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

using namespace std::string_literals;

// The largest single allocation since the last reset, to prove that a claimed length does not
// become an allocation. Replacing the global allocation functions covers the whole test program;
// they forward to malloc and free unchanged.
static std::atomic<std::size_t> LargestAllocation{0};

namespace {
void* Allocate(std::size_t size) noexcept {
    std::size_t largest = LargestAllocation.load(std::memory_order_relaxed);
    while (size > largest && !LargestAllocation.compare_exchange_weak(largest, size))
        ;
    return std::malloc(size != 0 ? size : 1);
}
void* AllocateOrThrow(std::size_t size) {
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}
} // namespace

// Every unaligned form is replaced, so that no pair mixes these with another allocator's. Out of
// line, or GCC takes an inlined free after an inlined new for a mismatched pair.
[[gnu::noinline]] void* operator new(std::size_t size) {
    return AllocateOrThrow(size);
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    return AllocateOrThrow(size);
}
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
[[gnu::noinline]] void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

std::string Hex(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        bytes.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return bytes;
}

std::string LE32(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    return bytes;
}

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

std::string Load(TQVCompoundFile& file, const std::string& bytes) {
    TMemoryStream stream(bytes);
    return Outcome([&] { file.LoadFromStream(stream); });
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
        outcome = Outcome([&] { file.LoadFromStream(stream); });
    }
    writer.join();
    return outcome;
}

// A password handler that answers from a list, then cancels; it counts its calls.
TQVCompoundFile::TPasswordEvent Answer(std::vector<std::string> answers, int* calls = nullptr,
                                       std::vector<std::string>* seen = nullptr) {
    return [answers, calls, seen, next = std::size_t(0)](TQVCompoundFile&, std::string& password,
                                                         bool& cancel) mutable {
        if (calls)
            ++*calls;
        if (seen)
            seen->push_back(password);
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

TEST(CompoundFileTest, EmptyContainerToTheByte) {
    TQVCompoundFile file;
    const std::string bytes = Save(file);
    EXPECT_EQ(bytes, Header(4, 0, 13) + InfoMarker + EmptyRoot);

    TQVCompoundFile copy;
    copy.Info = "stale";
    copy.Protected = true;
    EXPECT_EQ(Load(copy, bytes), "ok");
    EXPECT_TRUE(copy.Opened());
    EXPECT_EQ(copy.Info, "");
    EXPECT_FALSE(copy.Protected);
    EXPECT_EQ(copy.Root().Count(), 0);
}

TEST(CompoundFileTest, UnprotectedRoundTrip) {
    TQVCompoundFile file;
    file.Info = "0123456789ABCDEF0123456789ABCDEF";
    Fill(file.Root());
    file.OnPassword = Answer({});
    const std::string bytes = Save(file);
    const std::string body = file.Root().Encode();
    EXPECT_EQ(bytes, Header(36, 0, static_cast<std::uint32_t>(body.size())) + InfoMarker +
                         file.Info + body);

    TQVCompoundFile copy;
    std::string seen;
    int calls = 0;
    copy.OnInfo = [&](TQVCompoundFile& sender) { seen = sender.Protected ? "?" : sender.Info; };
    copy.OnPassword = Answer({}, &calls);
    ASSERT_EQ(Load(copy, bytes), "ok");
    EXPECT_EQ(seen, file.Info);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(copy.Root().Encode(), body);
}

TEST(CompoundFileTest, ProtectedRoundTrip) {
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
    const std::string body = bytes.substr(66);
    EXPECT_EQ(protection[0], '\x01');
    EXPECT_EQ(protection.substr(33, 3), "\0\0\0"s);

    // The check block's CRC is taken over its plain bytes, and the check block and the body are
    // two passes that each start from the key and the IV.
    const std::string iv = protection.substr(1, 16);
    std::string check(16, '\0'), decrypted(body.size(), '\0');
    std::uint32_t outLen = 16;
    ASSERT_TRUE(TQVCompoundFile::DecryptBuffer(protection.data() + 17, 16, check.data(), outLen,
                                               "secret", 6, iv.data(), 16));
    EXPECT_EQ(LE32(QVCRC::CRC32(check.data(), 16)), protection.substr(36));
    outLen = static_cast<std::uint32_t>(body.size());
    ASSERT_TRUE(TQVCompoundFile::DecryptBuffer(body.data(), outLen, decrypted.data(), outLen,
                                               "secret", 6, iv.data(), 16));
    EXPECT_EQ(decrypted, plain);

    TQVCompoundFile copy;
    std::string events;
    copy.OnInfo = [&](TQVCompoundFile& sender) {
        events += "info:" + sender.Info + (sender.Protected ? ":protected " : " ");
    };
    copy.OnPassword = [&](TQVCompoundFile&, std::string& password, bool&) {
        events += "password";
        password = "secret";
    };
    ASSERT_EQ(Load(copy, bytes), "ok");
    EXPECT_EQ(events, "info:id:protected password");
    EXPECT_EQ(copy.Root().Encode(), plain);
}

TEST(CompoundFileTest, HeaderErrors) {
    TQVCompoundFile empty;
    const std::string valid = Save(empty);
    empty.Protected = true;
    const std::string locked = Save(empty);

    std::string badMagic = valid;
    badMagic[3] = '\x1F';
    std::string otherType = locked;
    otherType[24] = '\x02';
    const struct {
        const char* what;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"nothing", "", "Invalid CF file"},
        {"19 bytes", valid.substr(0, 19), "Invalid CF file"},
        {"magic", badMagic, "Invalid CF file"},
        {"protection length 20", Header(8, 20, 13) + InfoMarker + "new!" + EmptyRoot,
         "Invalid CF file"},
        {"ends in the protection block", locked.substr(0, 24 + 39), "Invalid CF file"},
        {"protection type 2", otherType, "Unsupported protection type"},
    };
    for (const auto& c : cases) {
        TQVCompoundFile file;
        file.Info = "old";
        EXPECT_EQ(Load(file, c.bytes), c.message) << c.what;
        EXPECT_FALSE(file.Opened()) << c.what;
        // A failed read does not count as one.
        EXPECT_EQ(Load(file, valid), "ok") << c.what;
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
        file.Root().NewFile(u"a").Data = "b";
        file.OnPassword = Answer({password});
        return Save(file);
    };
    const std::string right = lockedWith("right");

    // Wrong answers are followed by another request; the handler gets the last key back.
    TQVCompoundFile file;
    int calls = 0;
    std::vector<std::string> seen;
    file.OnPassword = Answer({"wrong1", "wrong2", "right"}, &calls, &seen);
    EXPECT_EQ(Load(file, right), "ok");
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(seen, (std::vector<std::string>{"", "wrong1" + std::string(10, '\0'),
                                              "wrong2" + std::string(10, '\0')}));
    EXPECT_EQ(file.Root().Count(), 1);

    TQVCompoundFile cancelled;
    calls = 0;
    cancelled.OnPassword = Answer({"wrong"}, &calls);
    EXPECT_EQ(Load(cancelled, right), "Invalid key");
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(cancelled.Opened());
    EXPECT_EQ(Load(right), "Invalid key"); // no handler: the empty password only

    const std::string blank = lockedWith("");
    EXPECT_EQ(Load(blank), "ok");
    TQVCompoundFile leftAlone;
    calls = 0;
    leftAlone.OnPassword = [&](TQVCompoundFile&, std::string&, bool&) { ++calls; };
    EXPECT_EQ(Load(leftAlone, blank), "ok");
    EXPECT_EQ(calls, 1);

    // Only the first 16 bytes of a password count, and zero bytes pad it.
    const std::string longOne = lockedWith("0123456789abcdefXYZ");
    for (const std::string& key : {"0123456789abcdef"s, "0123456789abcdef-other"s}) {
        TQVCompoundFile reader;
        reader.OnPassword = Answer({key});
        EXPECT_EQ(Load(reader, longOne), "ok") << key;
    }
    TQVCompoundFile padded;
    padded.OnPassword = Answer({"right\0\0"s});
    EXPECT_EQ(Load(padded, right), "ok");
}

TEST(CompoundFileTest, ReadingAgain) {
    TQVCompoundFile source;
    source.Root().NewFile(u"first");
    const std::string first = Save(source);
    source.Root().Clear();
    source.Root().NewFile(u"second");
    const std::string second = Save(source);

    TQVCompoundFile file;
    ASSERT_EQ(Load(file, first), "ok");
    EXPECT_EQ(Load(file, second), "File already opened");
    ASSERT_EQ(file.Root().Count(), 1);
    EXPECT_EQ(file.Root().GetItem(0)->Name, u"first");

    TTempDir dir;
    FileSystem::WriteFileAtomic(dir.File("first.qvb"), first);
    FileSystem::WriteFileAtomic(dir.File("second.qvb"), second);
    file.LoadFromFile(dir.File("second.qvb"), false);
    EXPECT_EQ(file.FileName(), dir.File("second.qvb"));
    EXPECT_EQ(file.Root().GetItem(0)->Name, u"second");
    file.LoadFromFile(dir.File("first.qvb"), false);
    EXPECT_EQ(file.Root().GetItem(0)->Name, u"first");
}

TEST(CompoundFileTest, LoadFromFileFailures) {
    TTempDir dir;
    const std::string missing = dir.File("missing.qvb");

    TQVCompoundFile ignoring;
    ignoring.Root().NewFile(u"old");
    ignoring.LoadFromFile(missing, true);
    EXPECT_TRUE(ignoring.Opened());
    EXPECT_EQ(ignoring.FileName(), missing);
    EXPECT_EQ(ignoring.Root().Count(), 0);

    TQVCompoundFile strict;
    EXPECT_THROW(strict.LoadFromFile(missing, false), EOSError);
    EXPECT_FALSE(strict.Opened());
    EXPECT_EQ(strict.FileName(), "");

    const std::string broken = dir.File("broken.qvb");
    FileSystem::WriteFileAtomic(broken, "\xF8\x34");
    EXPECT_EQ(Outcome([&] { strict.LoadFromFile(broken, false); }), "Invalid CF file");
    EXPECT_FALSE(strict.Opened());
    strict.LoadFromFile(broken, true);
    EXPECT_TRUE(strict.Opened());
}

TEST(CompoundFileTest, ShortStreamsFailWithoutLargeAllocations) {
    TQVCompoundFile source;
    Fill(source.Root());
    const std::string plain = Save(source);
    source.Protected = true;
    const std::string locked = Save(source);
    const std::string plainBody = plain.substr(24);
    std::string claimsLocked = locked;
    claimsLocked.replace(16, 4, LE32(0xFFFFFFFF));

    const struct {
        const char* what;
        std::string bytes;
        std::string message;
    } cases[] = {
        {"body cut short", plain.substr(0, plain.size() - 1), "CF item read error"},
        {"no body", plain.substr(0, 24), "Invalid CF item"},
        {"protected body cut short", locked.substr(0, locked.size() - 1), "CF item read error"},
        {"info claims 4 GiB", Header(0xFFFFFFFF, 0, 13) + InfoMarker + EmptyRoot,
         "Invalid CF item"},
        {"body claims 4 GiB",
         Header(4, 0, 0xFFFFFFFF) + InfoMarker + plainBody.substr(0, plainBody.size() - 1),
         "CF item read error"},
        {"protected body claims 4 GiB", claimsLocked.substr(0, claimsLocked.size() - 1),
         "CF item read error"},
    };
    for (const auto& c : cases) {
        for (const bool pipe : {false, true}) {
            TQVCompoundFile file;
            file.OnPassword = Answer({""});
            LargestAllocation = 0;
            EXPECT_EQ(pipe ? LoadFromPipe(file, c.bytes) : Load(file, c.bytes), c.message)
                << c.what << (pipe ? " from a pipe" : "");
            EXPECT_LT(LargestAllocation.load(), 1u << 20) << c.what << (pipe ? " from a pipe" : "");
        }
    }
}

TEST(CompoundFileTest, PipesAreReadToTheirEnd) {
    for (const bool locked : {false, true}) {
        TQVCompoundFile source;
        source.Info = "id";
        source.Protected = locked;
        source.OnPassword = Answer({"secret"});
        Fill(source.Root());
        source.Root().NewFile(u"large").Data = std::string(300000, 'x'); // beyond a pipe's buffer
        TQVCompoundFile copy;
        copy.OnPassword = Answer({"secret"});
        ASSERT_EQ(LoadFromPipe(copy, Save(source)), "ok") << locked;
        EXPECT_EQ(copy.Info, "id");
        EXPECT_EQ(copy.Root().Encode(), source.Root().Encode());
    }
}

TEST(CompoundFileTest, WriteFailures) {
    TQVCompoundFile file;
    file.Info = "some id";
    Fill(file.Root());
    const std::string whole = Save(file);

    for (std::size_t limit : {std::size_t(0), std::size_t(10), std::size_t(20 + 11 - 1),
                              std::size_t(20 + 11), whole.size() - 1}) {
        TFailingStream stream({}, limit);
        EXPECT_THROW(file.SaveToStream(stream), EWriteError) << limit;
    }
    TFailingStream enough({}, whole.size());
    file.SaveToStream(enough);
    EXPECT_EQ(enough.Data(), whole);

    // A handler that cancels while writing stops the write before anything reaches the stream.
    file.Protected = true;
    int calls = 0;
    file.OnPassword = Answer({}, &calls);
    TMemoryStream stream;
    EXPECT_EQ(Outcome([&] { file.SaveToStream(stream); }), "Invalid key");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(stream.Size(), 0u);
}

TEST(CompoundFileTest, BufferCipherPadsKeyAndIV) {
    // A known CFB-128 vector for AES-128.
    const std::string key = Hex("2B 7E 15 16 28 AE D2 A6 AB F7 15 88 09 CF 4F 3C");
    const std::string iv = Hex("00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
    const std::string plain = Hex("6B C1 BE E2 2E 40 9F 96 E9 3D 7E 11 73 93 17 2A AE 2D");
    std::string out(plain.size(), '\0');
    auto outLen = static_cast<std::uint32_t>(out.size());
    EXPECT_TRUE(TQVCompoundFile::EncryptBuffer(plain.data(), outLen, out.data(), outLen, key.data(),
                                               16, iv.data(), 16));
    EXPECT_EQ(out, Hex("3B 3F D9 2E B7 2D AD 20 33 34 49 F8 E8 3C FB 4A C8 A6"));

    auto encrypt = [&](const std::string& k, const std::string& v) {
        std::string result(plain.size(), '\0');
        auto length = static_cast<std::uint32_t>(result.size());
        TQVCompoundFile::EncryptBuffer(
            plain.data(), length, result.data(), length, k.empty() ? nullptr : k.data(),
            static_cast<std::uint32_t>(k.size()), v.empty() ? nullptr : v.data(),
            static_cast<std::uint32_t>(v.size()));
        return result;
    };
    const std::string zeros(16, '\0');
    EXPECT_EQ(encrypt("k", "iv"), encrypt("k"s + std::string(15, '\0'), "iv"s + zeros));
    EXPECT_EQ(encrypt(key + "tail", iv + "tail"), encrypt(key, iv));
    EXPECT_EQ(encrypt("", ""), encrypt(zeros, zeros));

    const std::string cipher = encrypt("k", "iv");
    std::string back(plain.size(), '\0');
    outLen = static_cast<std::uint32_t>(back.size());
    EXPECT_TRUE(TQVCompoundFile::DecryptBuffer(cipher.data(), outLen, back.data(), outLen, "k", 1,
                                               "iv", 2));
    EXPECT_EQ(back, plain);
}
