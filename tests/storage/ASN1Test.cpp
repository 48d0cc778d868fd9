#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "storage/QVASN1.h"
#include "storage/QVASN1Parser.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
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

TASN1ConstrainedTag* Sub(const TASN1ConstrainedTag& tag, int index) {
    return dynamic_cast<TASN1ConstrainedTag*>(tag.GetField(index));
}

TASN1SimpleTag* Leaf(const TASN1ConstrainedTag& tag, int index) {
    return dynamic_cast<TASN1SimpleTag*>(tag.GetField(index));
}

TASN1SimpleTag& AddLeaf(TASN1ConstrainedTag& parent, std::uint8_t tagId, std::string content) {
    auto* leaf = Leaf(parent, parent.AddField(false));
    leaf->TagId = tagId;
    leaf->SetContent(std::move(content));
    return *leaf;
}

// Outcome of parsing `input` with the bare parser: "ok", or the exception class and message.
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

enum class Form { Definite, Indefinite, Alternating };

// `depth` constructed tags nested inside each other.
std::string Nested(int depth, Form form) {
    TASN1ConstrainedTag root;
    TASN1ConstrainedTag* tag = &root;
    for (int i = 0; i < depth; ++i) {
        tag = Sub(*tag, tag->AddField(true));
        tag->TagId = 0x30;
        tag->UndefSize = form == Form::Indefinite || (form == Form::Alternating && i % 2 == 1);
    }
    root.WriteHeader = false;
    return Save(root);
}

} // namespace

TEST(ASN1Load, BasicShapes) {
    TASN1ConstrainedTag empty;
    EXPECT_TRUE(Load(empty, ""));
    EXPECT_EQ(empty.Count(), 0);

    TASN1ConstrainedTag seq;
    ASSERT_TRUE(Load(seq, Bytes({0x30, 0x00})));
    ASSERT_EQ(seq.Count(), 1);
    EXPECT_TRUE(seq.GetField(0)->CheckType(0x30, true));
    EXPECT_FALSE(seq.GetField(0)->UndefSize);
    EXPECT_EQ(Sub(seq, 0)->Count(), 0);

    for (const auto& input : {Bytes({0x30, 0x80, 0x04, 0x01, 0x41, 0x00, 0x00}),
                              Bytes({0x30, 0x80, 0x04, 0x01, 0x41})}) {
        TASN1ConstrainedTag holder;
        ASSERT_TRUE(Load(holder, input));
        ASSERT_EQ(holder.Count(), 1);
        auto* outer = Sub(holder, 0);
        EXPECT_TRUE(outer->UndefSize);
        ASSERT_EQ(outer->Count(), 1);
        EXPECT_TRUE(outer->GetField(0)->CheckType(0x04, false));
        EXPECT_EQ(Leaf(*outer, 0)->Content(), "A");
    }

    TASN1ConstrainedTag nested;
    ASSERT_TRUE(Load(nested, Bytes({0x30, 0x80, 0x30, 0x03, 0x04, 0x01, 0x41, 0x00, 0x00})));
    ASSERT_EQ(nested.Count(), 1);
    auto* inner = Sub(*Sub(nested, 0), 0);
    ASSERT_NE(inner, nullptr);
    EXPECT_FALSE(inner->UndefSize);
    EXPECT_EQ(Leaf(*inner, 0)->Content(), "A");
}

TEST(ASN1Load, TopLevelTagsAndEndMarkers) {
    const std::string two = Bytes({0x04, 0x01, 0x41, 0x30, 0x00});
    TASN1ConstrainedTag holder;
    EXPECT_TRUE(Load(holder, two));
    EXPECT_EQ(holder.Count(), 2);
    TASN1ConstrainedTag trailing;
    EXPECT_TRUE(Load(trailing, Bytes({0x00, 0x00}) + two + Bytes({0x00, 0x00})));
    EXPECT_EQ(trailing.Count(), 2);
    TASN1ConstrainedTag lone;
    EXPECT_FALSE(Load(lone, two + Bytes({0x00})));
}

TEST(ASN1Load, DefiniteContentHasItsOwnIndefiniteTags) {
    // The marker inside the definite tag does not close the indefinite tag around it.
    TASN1ConstrainedTag a;
    ASSERT_TRUE(Load(a, Bytes({0x30, 0x80, 0x30, 0x02, 0x00, 0x00, 0x04, 0x01, 0x41})));
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(Sub(a, 0)->Count(), 2);
    EXPECT_EQ(Sub(*Sub(a, 0), 0)->Count(), 0);

    // An indefinite tag left open inside a definite tag ends with it.
    TASN1ConstrainedTag b;
    ASSERT_TRUE(Load(b, Bytes({0x30, 0x04, 0x30, 0x80, 0x04, 0x00, 0x04, 0x01, 0x42})));
    ASSERT_EQ(b.Count(), 2);
    auto* open = Sub(*Sub(b, 0), 0);
    EXPECT_TRUE(open->UndefSize);
    EXPECT_EQ(open->Count(), 1);
    EXPECT_EQ(Leaf(b, 1)->Content(), "B");
}

TEST(ASN1Load, LengthForms) {
    TASN1ConstrainedTag holder;
    EXPECT_TRUE(Load(holder, Bytes({0x04, 0x81, 0x05, 1, 2, 3, 4, 5})));
    EXPECT_TRUE(Load(holder, Bytes({0x30, 0x84, 0, 0, 0, 0x02, 0x04, 0x00})));
    ASSERT_EQ(holder.Count(), 2);
    EXPECT_EQ(Leaf(holder, 0)->Content().size(), 5u);
    EXPECT_EQ(Sub(holder, 1)->Count(), 1);

    const std::string refused[] = {
        Bytes({0x04, 0x89, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x41}), // nine length octets
        Bytes({0x04, 0x80, 0x41, 0x00, 0x00}),                // indefinite primitive
        // Lengths that claim more than there is.
        Bytes({0x04, 0x05, 0x41}),
        Bytes({0x30, 0x05, 0x04, 0x01, 0x41}),
        Bytes({0x04, 0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x41}),
        Bytes({0x30, 0x88, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x00}),
        Bytes({0x30, 0x84, 0x7F, 0xFF, 0xFF, 0xFF}),
        // Past the end of the enclosing tag, though not of the input.
        Bytes({0x30, 0x03, 0x30, 0x05, 0x04, 0x01, 0x41, 0x04, 0x01, 0x42}),
        Bytes({0x30, 0x03, 0x04, 0x02, 0x41, 0x42}),
        Bytes({0x30, 0x80, 0x30, 0x02, 0x03, 0x02, 0x07, 0x80}),
    };
    for (const auto& input : refused) {
        TASN1ConstrainedTag h;
        EXPECT_FALSE(Load(h, input)) << testing::PrintToString(input);
    }
}

TEST(ASN1Load, ContentRulesAndTagIds) {
    TASN1ConstrainedTag holder;
    ASSERT_TRUE(Load(holder, Bytes({0x02, 0x00, 0x03, 0x02, 0x07, 0x80, 0x03, 0x01, 0x00, 0x5F,
                                    0x21, 0x01, 0x41, 0xA1, 0x00})));
    ASSERT_EQ(holder.Count(), 5);
    EXPECT_EQ(Leaf(holder, 0)->Content(), Bytes({0x00}));
    EXPECT_EQ(Leaf(holder, 1)->Content(), Bytes({0x00, 0x80}));
    EXPECT_EQ(Leaf(holder, 2)->Content(), Bytes({0x00}));
    // Long-form number 33 of class 1: the class bits or'ed with the number's lowest octet.
    EXPECT_TRUE(holder.GetField(3)->CheckType(0x61, false));
    EXPECT_TRUE(holder.GetField(4)->CheckType(0xA1, true));

    TASN1ConstrainedTag bad;
    EXPECT_FALSE(Load(bad, Bytes({0x03, 0x00})));
}

TEST(ASN1Load, AppendsAndKeepsChildrenBeforeAFailure) {
    TASN1ConstrainedTag holder;
    AddLeaf(holder, 0x1E, "x");
    EXPECT_FALSE(Load(holder, Bytes({0x04, 0x01, 0x41, 0x30, 0x03, 0x04, 0x01, 0x42, 0x04})));
    ASSERT_EQ(holder.Count(), 3);
    EXPECT_EQ(Leaf(holder, 0)->Content(), "x");
    EXPECT_EQ(Leaf(holder, 1)->Content(), "A");
    EXPECT_EQ(Leaf(*Sub(holder, 2), 0)->Content(), "B");
}

TEST(ASN1Load, NestingDepthLimit) {
    // Definite and indefinite levels count alike, also when mixed.
    for (Form form : {Form::Definite, Form::Indefinite, Form::Alternating}) {
        TASN1ConstrainedTag deepest, tooDeep;
        EXPECT_TRUE(Load(deepest, Nested(ASN1MaxDepth, form)));
        EXPECT_FALSE(Load(tooDeep, Nested(ASN1MaxDepth + 1, form)));
    }
    // Closed indefinite tags do not add up.
    std::string siblings;
    for (int i = 0; i < 3 * ASN1MaxDepth; ++i)
        siblings += Bytes({0x30, 0x80, 0x00, 0x00});
    TASN1ConstrainedTag flat;
    EXPECT_TRUE(Load(flat, siblings));
    EXPECT_EQ(flat.Count(), 3 * ASN1MaxDepth);
}

TEST(ASN1Save, DefiniteLengths) {
    struct Case {
        std::size_t size;
        std::string header;
    };
    for (const auto& c :
         {Case{127, Bytes({0x04, 0x7F})}, Case{128, Bytes({0x04, 0x81, 0x80})},
          Case{255, Bytes({0x04, 0x81, 0xFF})}, Case{256, Bytes({0x04, 0x82, 0x01, 0x00})},
          Case{65536, Bytes({0x04, 0x83, 0x01, 0x00, 0x00})}}) {
        TASN1SimpleTag tag;
        tag.TagId = 0x04;
        tag.SetContent(std::string(c.size, 'z'));
        const std::string out = Save(tag);
        EXPECT_EQ(out, c.header + std::string(c.size, 'z')) << c.size;
        EXPECT_EQ(tag.TagSize(), out.size());
    }

    TASN1ConstrainedTag seq;
    seq.TagId = 0x30;
    AddLeaf(seq, 0x1E, "");
    EXPECT_EQ(Save(seq), Bytes({0x30, 0x02, 0x1E, 0x00}));
    EXPECT_EQ(seq.TagSize(), 4u);
}

TEST(ASN1Save, IndefiniteAndHeaderlessForms) {
    TASN1ConstrainedTag seq;
    seq.TagId = 0x30;
    seq.UndefSize = true;
    auto& leaf = AddLeaf(seq, 0x04, "A");
    leaf.UndefSize = true;
    const std::string leafBytes = Bytes({0x04, 0x80, 0x41, 0x00, 0x00});
    EXPECT_EQ(Save(leaf), leafBytes);
    EXPECT_EQ(Save(seq), Bytes({0x30, 0x80}) + leafBytes + Bytes({0x00, 0x00}));

    leaf.WriteHeader = false;
    seq.WriteHeader = false;
    EXPECT_EQ(Save(leaf), "A");
    EXPECT_EQ(Save(seq), "A");
    seq.UndefSize = false;
    EXPECT_EQ(seq.TagSize(), 1u);
}

TEST(ASN1Save, CapacityProtocol) {
    TASN1ConstrainedTag seq;
    seq.TagId = 0x30;
    AddLeaf(seq, 0x04, std::string(200, 'q'));
    AddLeaf(seq, 0x02, Bytes({0x01}));
    const std::uint32_t exact = 3 + (3 + 200) + 3; // 30 81 CE, 04 81 C8 ..., 02 01 01

    std::uint32_t size = 0;
    EXPECT_FALSE(seq.SaveToBuffer(nullptr, size));
    EXPECT_EQ(size, exact);

    std::string buffer(exact + 5, '\xCC');
    size = exact - 1;
    EXPECT_FALSE(seq.SaveToBuffer(buffer.data(), size));
    EXPECT_EQ(size, exact);
    EXPECT_EQ(buffer, std::string(exact + 5, '\xCC'));

    size = exact;
    EXPECT_TRUE(seq.SaveToBuffer(buffer.data(), size));
    EXPECT_EQ(size, exact);
    size = exact + 5;
    EXPECT_TRUE(seq.SaveToBuffer(buffer.data(), size));
    EXPECT_EQ(size, exact);
    EXPECT_EQ(buffer.substr(exact), std::string(5, '\xCC'));

    // Only an encoding of no bytes at all fits in no buffer.
    TASN1SimpleTag nothing;
    nothing.WriteHeader = false;
    size = 0;
    EXPECT_TRUE(nothing.SaveToBuffer(nullptr, size));
    EXPECT_EQ(size, 0u);
}

TEST(ASN1Tree, FieldsAndTypes) {
    TASN1ConstrainedTag seq;
    EXPECT_EQ(seq.AddField(false), 0);
    EXPECT_EQ(seq.AddField(true), 1);
    EXPECT_EQ(seq.Count(), 2);
    EXPECT_EQ(seq.GetField(-1), nullptr);
    EXPECT_EQ(seq.GetField(2), nullptr);
    EXPECT_TRUE(seq.GetField(0)->CheckType(0x00, false));
    EXPECT_TRUE(seq.GetField(1)->CheckType(0x00, true));
    EXPECT_FALSE(seq.GetField(1)->CheckType(0x00, false));
    // A primitive tag cannot be loaded alone.
    EXPECT_FALSE(seq.GetField(0)->LoadFromBuffer("\x04\x00", 2));
}

TEST(ASN1Tree, SaveThenLoadGivesTheSameTag) {
    TASN1ConstrainedTag root;
    root.TagId = 0x30;
    AddLeaf(root, 0x04, std::string(300, 'p'));
    AddLeaf(root, 0x02, Bytes({0x7F}));
    AddLeaf(root, 0x03, Bytes({0x00, 0xA5}));
    auto* open = Sub(root, root.AddField(true));
    open->TagId = 0x30;
    open->UndefSize = true;
    AddLeaf(*open, 0x1E, Bytes({0x00, 0x41}));
    Sub(*open, open->AddField(true))->TagId = 0xA0;

    const std::string bytes = Save(root);
    TASN1ConstrainedTag holder;
    ASSERT_TRUE(Load(holder, bytes));
    ASSERT_EQ(holder.Count(), 1);
    auto* copy = Sub(holder, 0);
    EXPECT_EQ(Save(*copy), bytes);
    EXPECT_TRUE(Sub(*copy, 3)->UndefSize);
    EXPECT_EQ(Leaf(*copy, 2)->Content(), Bytes({0x00, 0xA5}));
}

TEST(ASN1Parser, ReportsTagsAndHeaders) {
    const std::string input = Bytes(
        {0x30, 0x80, 0x03, 0x02, 0x07, 0x80, 0x9F, 0x82, 0x01, 0x82, 0x00, 0x01, 0x41, 0x00, 0x00});
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
    const std::string input = Bytes({0x30, 0x08, 0x30, 0x04, 0x04, 0x02, 0x41, 0x42, 0x00, 0x00});
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
    const std::string longNumber(100, '\x81');
    struct Case {
        std::string input;
        std::string outcome;
    };
    const Case cases[] = {
        {Bytes({0x04}), "read: Invalid ASN1 sequence"},
        {Bytes({0x04, 0x05, 0x41}), "read: Invalid ASN1 sequence"},
        {Bytes({0x1F, 0x81}), "read: Invalid ASN1 sequence"},
        {Bytes({0x04, 0x82, 0x01}), "read: Invalid ASN1 sequence"},
        {Bytes({0x00}), "read: Invalid ASN1 sequence"},
        {Bytes({0x03, 0x01}), "read: Invalid ASN1 sequence"},
        {Bytes({0x00, 0x01}), "error: Invalid ASN1 Sequence"},
        {Bytes({0x1F}) + longNumber, "error: Tag size too large"},
        {Bytes({0x1F}) + longNumber.substr(1) + Bytes({0x01, 0x00}), "ok"},
        {Bytes({0x04, 0x89, 0, 0, 0, 0, 0, 0, 0, 0, 0}), "error: Block size too large"},
        {Bytes({0x04, 0x88, 0, 0, 0, 0, 0, 0, 0, 0}), "ok"},
        {Bytes({0x04, 0x80}), "error: Invalid ASN1 sequence"},
        {Bytes({0x03, 0x00}), "error: Invalid ASN1 sequence"},
        {Bytes({0x30, 0x03, 0x04, 0x02, 0x41, 0x42}), "error: Invalid stream data"},
        {Bytes({0x30, 0x05, 0x04, 0x01, 0x41}), "error: Unexpected stream end"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseOutcome(c.input), c.outcome) << testing::PrintToString(c.input);
        TASN1ConstrainedTag holder;
        EXPECT_EQ(Load(holder, c.input), c.outcome == "ok") << testing::PrintToString(c.input);
    }
}
