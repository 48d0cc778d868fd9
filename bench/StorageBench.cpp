// Container save and load of a synthetic tree: 1,000 folders of 50 small files each, beside the
// time to read the file's bytes and decrypt them (with our cipher and with OpenSSL's).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>

#include "platform/Stream.h"
#include "storage/container/QVCompoundFile.h"
#include "storage/crypto/QVAES.h"

namespace {

constexpr int FolderCount = 1000;
constexpr int FilesPerFolder = 50;
const std::string Password = "benchmark";

void FillTree(TQVCFFolder& root) {
    for (int f = 0; f < FolderCount; ++f) {
        std::u16string folderName;
        for (char c : std::to_string(f))
            folderName += static_cast<char16_t>(c);
        TQVCFFolder& folder = root.NewFolder(folderName);
        for (int i = 0; i < FilesPerFolder; ++i) {
            std::u16string name = u"item";
            for (char c : std::to_string(i))
                name += static_cast<char16_t>(c);
            folder.NewFile(name).Data = "value " + std::to_string(f * FilesPerFolder + i);
        }
    }
}

std::string SaveTree(bool isProtected) {
    TQVCompoundFile file;
    FillTree(file.Root());
    file.Protected = isProtected;
    file.OnPassword = [](TQVCompoundFile&, TSecret& password, bool&) { password = Password; };
    TMemoryStream stream;
    file.SaveToStream(stream);
    return stream.Data();
}

const std::string& SavedTree(bool isProtected) {
    static const std::string plain = SaveTree(false);
    static const std::string encrypted = SaveTree(true);
    return isProtected ? encrypted : plain;
}

void BM_ContainerSave(benchmark::State& state) {
    const bool isProtected = state.range(0) != 0;
    TQVCompoundFile file;
    FillTree(file.Root());
    file.Protected = isProtected;
    file.OnPassword = [](TQVCompoundFile&, TSecret& password, bool&) { password = Password; };
    for (auto _ : state) {
        TMemoryStream stream;
        file.SaveToStream(stream);
        benchmark::DoNotOptimize(stream.Data().data());
    }
    state.SetBytesProcessed(
        static_cast<int64_t>(state.iterations() * SavedTree(isProtected).size()));
}
BENCHMARK(BM_ContainerSave)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ContainerLoad(benchmark::State& state) {
    const bool isProtected = state.range(0) != 0;
    const std::string& bytes = SavedTree(isProtected);
    for (auto _ : state) {
        TMemoryStream stream(bytes);
        TQVCompoundFile file;
        file.OnPassword = [](TQVCompoundFile&, TSecret& password, bool&) { password = Password; };
        file.LoadFromStream(stream);
        benchmark::DoNotOptimize(file.Root().Count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ContainerLoad)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The floor a load is measured against: copy the file's bytes out of the stream and decrypt them.
void BM_ReadAndDecrypt_Ours(benchmark::State& state) {
    const std::string& bytes = SavedTree(true);
    const std::uint8_t key[16] = {}, iv[16] = {};
    for (auto _ : state) {
        TMemoryStream stream(bytes);
        std::string in(bytes.size(), '\0');
        stream.Read(in.data(), in.size());
        std::string out(in.size(), '\0');
        QVAES::TAESContext context;
        QVAES::InitDecrypt(context, key, iv);
        auto outLen = static_cast<std::uint32_t>(out.size());
        QVAES::Decrypt(context, in.data(), outLen, out.data(), outLen);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadAndDecrypt_Ours)->Unit(benchmark::kMillisecond);

void BM_ReadAndDecrypt_OpenSSL(benchmark::State& state) {
    const std::string& bytes = SavedTree(true);
    const unsigned char key[16] = {}, iv[16] = {};
    for (auto _ : state) {
        TMemoryStream stream(bytes);
        std::string in(bytes.size(), '\0');
        stream.Read(in.data(), in.size());
        std::string out(in.size(), '\0');
        EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
        EVP_DecryptInit_ex(ctx, EVP_aes_128_cfb128(), nullptr, key, iv);
        int outLen = 0;
        EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &outLen,
                          reinterpret_cast<const unsigned char*>(in.data()),
                          static_cast<int>(in.size()));
        EVP_CIPHER_CTX_free(ctx);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadAndDecrypt_OpenSSL)->Unit(benchmark::kMillisecond);

} // namespace
