#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "storage/asn1/QVASN1.h"
#include "support/Bytes.h"

namespace {

bool Load(TASN1ConstrainedTag& holder, const std::string& input) {
    return holder.LoadFromBuffer(input.data(), static_cast<std::uint32_t>(input.size()));
}

std::string Save(const TASN1CustomTag& tag) {
    std::uint32_t size = 0;
    tag.SaveToBuffer(nullptr, size);
    std::string out(size, '\0');
    EXPECT_TRUE(tag.SaveToBuffer(out.data(), size));
    EXPECT_EQ(size, out.size());
    return out;
}

// The children as text: "30[..]" constructed, "30~[..]" indefinite, "04=4142" primitive.
std::string Dump(const TASN1ConstrainedTag& tag) {
    std::string out;
    for (int i = 0; i < tag.Count(); ++i) {
        const TASN1CustomTag* child = tag.GetField(i);
        out += (i > 0 ? " " : "") + ToHex(std::string(1, static_cast<char>(child->TagId)));
        if (const auto* seq = dynamic_cast<const TASN1ConstrainedTag*>(child))
            out += (seq->UndefSize ? "~[" : "[") + Dump(*seq) + "]";
        else
            out += "=" + ToHex(static_cast<const TASN1SimpleTag*>(child)->Content());
    }
    return out;
}

// The tree loaded from `hex`, preceded by "!" when the load failed.
std::string LoadDump(std::string_view hex) {
    TASN1ConstrainedTag holder;
    const bool ok = Load(holder, Hex(hex));
    return (ok ? "" : "!") + Dump(holder);
}

TASN1ConstrainedTag& AddSeq(TASN1ConstrainedTag& parent, std::uint8_t tagId) {
    auto* seq = static_cast<TASN1ConstrainedTag*>(parent.GetField(parent.AddField(true)));
    seq->TagId = tagId;
    return *seq;
}

TASN1SimpleTag& AddLeaf(TASN1ConstrainedTag& parent, std::uint8_t tagId, std::string content) {
    auto* leaf = static_cast<TASN1SimpleTag*>(parent.GetField(parent.AddField(false)));
    leaf->TagId = tagId;
    leaf->SetContent(std::move(content));
    return *leaf;
}

// `depth` constructed tags nested inside each other; every `undefEvery`th one indefinite.
std::string Nested(int depth, int undefEvery) {
    TASN1ConstrainedTag root;
    root.WriteHeader = false;
    TASN1ConstrainedTag* tag = &root;
    for (int i = 0; i < depth; ++i) {
        tag = &AddSeq(*tag, 0x30);
        tag->UndefSize = undefEvery > 0 && i % undefEvery == undefEvery - 1;
    }
    return Save(root);
}

} // namespace

TEST(ASN1Load, TreesContentRulesAndLengths) {
    std::string longNumber = "1F"; // a tag number of 100 octets, which the reader takes
    for (int i = 0; i < 99; ++i)
        longNumber += "81";
    const std::pair<std::string, const char*> cases[] = {
        {"", ""},
        {"30 00", "30[]"},
        {"30 80 04 01 41 00 00", "30~[04=41]"},
        {"30 80 04 01 41", "30~[04=41]"}, // an indefinite tag may end with the input
        // Stray end-of-contents markers are ignored; half of one is not.
        {"00 00 04 01 41 30 00 00 00", "04=41 30[]"},
        {"04 01 41 30 00 00", "!04=41 30[]"},
        // A definite-length tag's content keeps its own indefinite tags: a marker inside it does
        // not close one outside, and one left open inside ends with it.
        {"30 80 30 02 00 00 04 01 41", "30~[30[] 04=41]"},
        {"30 04 30 80 04 00 04 01 42", "30[30~[04=]] 04=42"},
        // Empty INTEGER, BIT STRINGs, class 1 long-form number 33 (class bits or'ed with the
        // number's lowest octet), a context-specific constructed tag.
        {"02 00 03 02 07 80 03 01 00 5F 21 01 41 A1 00", "02=00 03=0080 03=00 61=41 a1[]"},
        {"03 00", "!"},
        // Non-minimal lengths are read; more than 8 length octets, or 0x80 on a primitive, not.
        {"04 81 05 01 02 03 04 05", "04=0102030405"},
        {"04 89 00 00 00 00 00 00 00 00 01 41", "!"},
        {"04 80 41 00 00", "!"},
        // Lengths that claim more than the input, or than the tag around them, holds.
        {"04 05 41", "!"},
        {"30 05 04 01 41", "!30[]"},
        {"04 88 FF FF FF FF FF FF FF FF 41", "!"},
        {"30 84 7F FF FF FF", "!30[]"},
        {"30 03 30 05 04 01 41 04 01 42", "!30[30[]]"},
        {"30 80 30 02 03 02 07 80", "!30~[30[]]"},
        // Headers cut short, an end-of-contents marker with content, a long tag number.
        {"04", "!"},
        {"04 82 01", "!"},
        {"00 01", "!"},
        {longNumber + "01 00", "81="},
    };
    for (const auto& [input, tree] : cases)
        EXPECT_EQ(LoadDump(input), tree) << input;
}

TEST(ASN1Load, NestingDepthLimit) {
    for (int undefEvery : {0, 1, 2}) {
        TASN1ConstrainedTag deepest, tooDeep;
        EXPECT_TRUE(Load(deepest, Nested(ASN1MaxDepth, undefEvery)));
        EXPECT_FALSE(Load(tooDeep, Nested(ASN1MaxDepth + 1, undefEvery)));
    }
    // Closed indefinite tags do not add up.
    std::string siblings;
    for (int i = 0; i < 3 * ASN1MaxDepth; ++i)
        siblings += Hex("30 80 00 00");
    TASN1ConstrainedTag flat;
    EXPECT_TRUE(Load(flat, siblings));
    EXPECT_EQ(flat.Count(), 3 * ASN1MaxDepth);
}

TEST(ASN1Save, ShortestLengthFormsAndHeaderFlags) {
    const std::pair<std::size_t, const char*> cases[] = {
        {0, "04 00"},         {127, "04 7F"},         {128, "04 81 80"},        {255, "04 81 FF"},
        {256, "04 82 01 00"}, {65535, "04 82 FF FF"}, {65536, "04 83 01 00 00"}};
    for (const auto& [size, header] : cases) {
        TASN1SimpleTag tag;
        tag.TagId = 0x04;
        tag.SetContent(std::string(size, 'z'));
        const std::string out = Save(tag);
        EXPECT_EQ(out, Hex(header) + std::string(size, 'z')) << size;
        EXPECT_EQ(tag.TagSize(), out.size());
    }
    // Saved and loaded into a fresh holder, a tag comes back as its only child; an indefinite
    // length and a missing header are written as asked.
    TASN1ConstrainedTag seq;
    seq.TagId = 0x30;
    auto& leaf = AddLeaf(seq, 0x1E, "A");
    TASN1ConstrainedTag holder;
    ASSERT_TRUE(Load(holder, Save(seq)));
    EXPECT_EQ(Dump(holder), "30[1e=41]");
    seq.UndefSize = true;
    leaf.WriteHeader = false;
    EXPECT_EQ(Save(seq), Hex("30 80 41 00 00"));
}
