#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "storage/QVASN1.h"
#include "storage/QVASN1Parser.h"

namespace {

// "30 80 04" -> the bytes 0x30 0x80 0x04.
std::string Hex(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        out.push_back(static_cast<char>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return out;
}

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

std::string ToHex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes)
        out += {digits[c >> 4], digits[c & 15]};
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

enum class Form { Definite, Indefinite, Alternating };

// `depth` constructed tags nested inside each other.
std::string Nested(int depth, Form form) {
    TASN1ConstrainedTag root;
    root.WriteHeader = false;
    TASN1ConstrainedTag* tag = &root;
    for (int i = 0; i < depth; ++i) {
        tag = &AddSeq(*tag, 0x30);
        tag->UndefSize = form == Form::Indefinite || (form == Form::Alternating && i % 2 == 1);
    }
    return Save(root);
}

// Parses with the bare parser: "ok", or the exception class and message.
std::string ParseOutcome(const std::string& input) {
    TASN1Parser parser({reinterpret_cast<const std::uint8_t*>(input.data()), input.size()});
    try {
        parser.Parse();
        return "ok";
    } catch (const EASN1ReadError& e) {
        return "read: " + e.Message();
    } catch (const EASN1Error& e) {
        return "error: " + e.Message();
    }
}

} // namespace

TEST(ASN1Load, TreeShapes) {
    EXPECT_EQ(LoadDump(""), "");
    EXPECT_EQ(LoadDump("30 00"), "30[]");
    EXPECT_EQ(LoadDump("30 80 04 01 41 00 00"), "30~[04=41]");
    EXPECT_EQ(LoadDump("30 80 04 01 41"), "30~[04=41]");
    EXPECT_EQ(LoadDump("30 80 30 03 04 01 41 00 00"), "30~[30[04=41]]");
    // Stray end-of-contents markers are ignored; half of one is not.
    EXPECT_EQ(LoadDump("00 00 04 01 41 30 00 00 00"), "04=41 30[]");
    EXPECT_EQ(LoadDump("04 01 41 30 00 00"), "!04=41 30[]");
    // The content of a definite-length tag keeps its own indefinite tags: a marker inside it does
    // not close one outside, and one left open inside ends with it.
    EXPECT_EQ(LoadDump("30 80 30 02 00 00 04 01 41"), "30~[30[] 04=41]");
    EXPECT_EQ(LoadDump("30 04 30 80 04 00 04 01 42"), "30[30~[04=]] 04=42");
}

TEST(ASN1Load, ContentRulesAndTagIds) {
    // Empty INTEGER, BIT STRINGs, class 1 long-form number 33 (class bits or'ed with the
    // number's lowest octet, whatever bit 6 then says), a context-specific constructed tag.
    EXPECT_EQ(LoadDump("02 00 03 02 07 80 03 01 00 5F 21 01 41 A1 00"),
              "02=00 03=0080 03=00 61=41 A1[]");
    EXPECT_EQ(LoadDump("03 00"), "!");
}

TEST(ASN1Load, Lengths) {
    EXPECT_EQ(LoadDump("04 81 05 01 02 03 04 05"), "04=0102030405");
    EXPECT_EQ(LoadDump("30 84 00 00 00 02 04 00"), "30[04=]");
    EXPECT_EQ(LoadDump("04 89 00 00 00 00 00 00 00 00 01 41"), "!");
    EXPECT_EQ(LoadDump("04 80 41 00 00"), "!");
    // Lengths that claim more than the input, or than the tag around them, holds.
    EXPECT_EQ(LoadDump("04 05 41"), "!");
    EXPECT_EQ(LoadDump("30 05 04 01 41"), "!30[]");
    EXPECT_EQ(LoadDump("04 88 FF FF FF FF FF FF FF FF 41"), "!");
    EXPECT_EQ(LoadDump("30 88 80 00 00 00 00 00 00 00 04 00"), "!30[]");
    EXPECT_EQ(LoadDump("30 84 7F FF FF FF"), "!30[]");
    EXPECT_EQ(LoadDump("30 03 30 05 04 01 41 04 01 42"), "!30[30[]]");
    EXPECT_EQ(LoadDump("30 03 04 02 41 42"), "!30[]");
    EXPECT_EQ(LoadDump("30 80 30 02 03 02 07 80"), "!30~[30[]]");
}

TEST(ASN1Load, AppendsAndKeepsChildrenBeforeAFailure) {
    TASN1ConstrainedTag holder;
    AddLeaf(holder, 0x1E, "x");
    EXPECT_FALSE(Load(holder, Hex("04 01 41 30 03 04 01 42 04")));
    EXPECT_EQ(Dump(holder), "1E=78 04=41 30[04=42]");
}

TEST(ASN1Load, NestingDepthLimit) {
    for (Form form : {Form::Definite, Form::Indefinite, Form::Alternating}) {
        TASN1ConstrainedTag deepest, tooDeep;
        EXPECT_TRUE(Load(deepest, Nested(ASN1MaxDepth, form)));
        EXPECT_FALSE(Load(tooDeep, Nested(ASN1MaxDepth + 1, form)));
    }
    // Closed indefinite tags do not add up.
    std::string siblings;
    for (int i = 0; i < 3 * ASN1MaxDepth; ++i)
        siblings += Hex("30 80 00 00");
    TASN1ConstrainedTag flat;
    EXPECT_TRUE(Load(flat, siblings));
    EXPECT_EQ(flat.Count(), 3 * ASN1MaxDepth);
}

TEST(ASN1Save, Encodings) {
    const std::pair<std::size_t, const char*> cases[] = {{127, "04 7F"},
                                                         {128, "04 81 80"},
                                                         {255, "04 81 FF"},
                                                         {256, "04 82 01 00"},
                                                         {65536, "04 83 01 00 00"}};
    for (const auto& [size, header] : cases) {
        TASN1SimpleTag tag;
        tag.TagId = 0x04;
        tag.SetContent(std::string(size, 'z'));
        const std::string out = Save(tag);
        EXPECT_EQ(out, Hex(header) + std::string(size, 'z')) << size;
        EXPECT_EQ(tag.TagSize(), out.size());
    }

    TASN1ConstrainedTag seq;
    seq.TagId = 0x30;
    auto& leaf = AddLeaf(seq, 0x1E, "");
    EXPECT_EQ(Save(seq), Hex("30 02 1E 00"));

    leaf.SetContent("A");
    leaf.UndefSize = true;
    seq.UndefSize = true;
    EXPECT_EQ(Save(seq), Hex("30 80 1E 80 41 00 00 00 00"));
    leaf.WriteHeader = false;
    seq.WriteHeader = false;
    EXPECT_EQ(Save(seq), "A");
    EXPECT_EQ(seq.TagSize(), 1u);
}

TEST(ASN1Save, CapacityProtocol) {
    TASN1ConstrainedTag seq;
    seq.TagId = 0x30;
    AddLeaf(seq, 0x04, std::string(200, 'q'));
    AddLeaf(seq, 0x02, Hex("01"));
    const std::uint32_t exact = 3 + (3 + 200) + 3; // 30 81 CE, 04 81 C8 ..., 02 01 01

    std::uint32_t size = 0;
    EXPECT_FALSE(seq.SaveToBuffer(nullptr, size));
    EXPECT_EQ(size, exact);

    const std::string untouched(exact + 5, '\xCC');
    std::string buffer = untouched;
    size = exact - 1;
    EXPECT_FALSE(seq.SaveToBuffer(buffer.data(), size));
    EXPECT_EQ(size, exact);
    EXPECT_EQ(buffer, untouched);

    size = exact;
    EXPECT_TRUE(seq.SaveToBuffer(buffer.data(), size));
    EXPECT_EQ(size, exact);
    EXPECT_EQ(buffer.substr(exact), untouched.substr(exact));

    // Only an encoding of no bytes at all fits in no buffer.
    TASN1SimpleTag nothing;
    nothing.WriteHeader = false;
    size = 0;
    EXPECT_TRUE(nothing.SaveToBuffer(nullptr, size));
    EXPECT_EQ(size, 0u);
}

TEST(ASN1Tree, FieldsAndRoundTrip) {
    TASN1ConstrainedTag root;
    root.TagId = 0x30;
    AddLeaf(root, 0x04, std::string(300, 'p'));
    AddLeaf(root, 0x02, Hex("7F"));
    AddLeaf(root, 0x03, Hex("00 A5"));
    auto& open = AddSeq(root, 0x30);
    open.UndefSize = true;
    AddLeaf(open, 0x1E, Hex("00 41"));
    AddSeq(open, 0xA0);
    EXPECT_EQ(root.GetField(-1), nullptr);
    EXPECT_EQ(root.GetField(root.Count()), nullptr);
    EXPECT_FALSE(root.GetField(0)->LoadFromBuffer("\x04\x00", 2));

    const std::string bytes = Save(root);
    TASN1ConstrainedTag holder;
    ASSERT_TRUE(Load(holder, bytes));
    ASSERT_EQ(holder.Count(), 1);
    EXPECT_EQ(Save(*holder.GetField(0)), bytes);
    EXPECT_EQ(Dump(holder), "30[" + Dump(root) + "]");
}

TEST(ASN1Parser, ReportsTagsAndHeaders) {
    const std::string input = Hex("30 80 03 02 07 80 9F 82 01 82 00 01 41 00 00");
    TASN1Parser parser({reinterpret_cast<const std::uint8_t*>(input.data()), input.size()});
    std::vector<std::string> tags;
    std::vector<int> headerSizes;
    parser.OnTag = [&](TASN1Parser&, int tagClass, bool constructed, const std::uint8_t* number,
                       int numberLength, std::uint64_t size, const std::uint8_t* data,
                       std::uint8_t bitRest, bool&) {
        std::string s = std::to_string(tagClass) + (constructed ? "c" : "p") + ":";
        for (int i = 0; i < numberLength; ++i)
            s += std::to_string(number[i]) + ",";
        s += std::to_string(size) + ":" +
             (data ? std::string(reinterpret_cast<const char*>(data), size) : "-") + ":" +
             std::to_string(bitRest);
        tags.push_back(s);
    };
    parser.OnTagHeader = [&](TASN1Parser&, std::uint8_t, std::uint64_t, int headerSize, bool) {
        headerSizes.push_back(headerSize);
    };
    EXPECT_EQ(parser.ParseTag(true), 2);
    EXPECT_EQ(parser.ParseTag(true), 4);
    EXPECT_EQ(parser.ParseTag(true), 7);
    EXPECT_EQ(parser.ParseTag(true), 2);
    EXPECT_EQ(parser.ParseTag(true), -1);
    // Tag number 257 comes least significant byte first.
    EXPECT_EQ(tags, (std::vector<std::string>{"0c:16,0:-:0", "0p:3,1:\x80:7", "2p:1,1,1:A:0",
                                              "4p:0,0:-:0"}));
    EXPECT_EQ(headerSizes, (std::vector<int>{2, 2, 4}));
}

TEST(ASN1Parser, ClearingContinueSilencesTheChildren) {
    const std::string input = Hex("30 08 30 04 04 02 41 42 00 00");
    for (bool keepGoing : {true, false}) {
        TASN1Parser parser({reinterpret_cast<const std::uint8_t*>(input.data()), input.size()});
        int reports = 0;
        parser.OnTag = [&](TASN1Parser&, int, bool, const std::uint8_t*, int, std::uint64_t,
                           const std::uint8_t*, std::uint8_t, bool& cont) {
            ++reports;
            cont = keepGoing;
        };
        EXPECT_EQ(parser.ParseTag(true), 10);
        EXPECT_EQ(reports, keepGoing ? 4 : 1);
        EXPECT_EQ(parser.ParseTag(true), -1);
    }
}

TEST(ASN1Parser, Errors) {
    const std::string longNumber(99, '\x81');
    const std::pair<std::string, std::string> cases[] = {
        {Hex("04"), "read: Invalid ASN1 sequence"},
        {Hex("04 05 41"), "read: Invalid ASN1 sequence"},
        {Hex("1F 81"), "read: Invalid ASN1 sequence"},
        {Hex("04 82 01"), "read: Invalid ASN1 sequence"},
        {Hex("00"), "read: Invalid ASN1 sequence"},
        {Hex("03 01"), "read: Invalid ASN1 sequence"},
        {Hex("00 01"), "error: Invalid ASN1 Sequence"},
        {Hex("1F") + longNumber + Hex("81"), "error: Tag size too large"},
        {Hex("1F") + longNumber + Hex("01 00"), "ok"},
        {Hex("04 89 00 00 00 00 00 00 00 00 00"), "error: Block size too large"},
        {Hex("04 88 00 00 00 00 00 00 00 00"), "ok"},
        {Hex("04 80"), "error: Invalid ASN1 sequence"},
        {Hex("03 00"), "error: Invalid ASN1 sequence"},
        {Hex("30 03 04 02 41 42"), "error: Invalid stream data"},
        {Hex("30 05 04 01 41"), "error: Unexpected stream end"},
    };
    for (const auto& [input, outcome] : cases) {
        EXPECT_EQ(ParseOutcome(input), outcome) << testing::PrintToString(input);
        TASN1ConstrainedTag holder;
        EXPECT_EQ(Load(holder, input), outcome == "ok") << testing::PrintToString(input);
    }
}
