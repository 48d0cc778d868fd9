#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exception.h"

// A small ASN.1 BER/DER tag tree: primitive tags hold bytes, constructed tags hold an ordered list
// of child tags. The container's item encoding is written and read through it; what the tags
// mean is the caller's business.

class EASN1Error : public Exception {
public:
    using Exception::Exception;
};

class EASN1ReadError : public Exception {
public:
    using Exception::Exception;
};

// Deepest nesting of constructed tags that a load accepts. The container nests a handful.
constexpr int ASN1MaxDepth = 64;

// The content of a primitive tag: a byte string.
class TASN1DataSource {
public:
    void SetValue(std::string bytes) { FBytes = std::move(bytes); }
    const std::string& Value() const { return FBytes; }
    std::size_t Size() const { return FBytes.size(); }
    // Copies up to `count` bytes from `offset` into `buffer`; returns the number copied.
    std::size_t Read(std::size_t offset, void* buffer, std::size_t count) const;

private:
    std::string FBytes;
};

class TASN1CustomTag {
public:
    virtual ~TASN1CustomTag() = default;

    std::uint8_t TagId = 0;  // written as the identifier octet, unchanged
    bool WriteHeader = true; // false: write the contents alone
    bool UndefSize = false;  // true: write the indefinite length form

    virtual bool IsConstrained() const { return false; }
    // Exact size of the encoding.
    virtual std::uint64_t TagSize() const { return 0; }
    virtual bool LoadFromBuffer(const void* buffer, std::uint32_t size);
    // `size` enters as the capacity of `buffer`. When the encoding fits it is written, `size`
    // becomes its length and the result is true; otherwise nothing is written, `size` becomes the
    // exact length needed and the result is false. A null buffer with capacity 0 thus measures.
    // (A length beyond the 32-bit range is reported as the largest 32-bit value.)
    virtual bool SaveToBuffer(void* buffer, std::uint32_t& size) const;

    bool CheckType(std::uint8_t tag, bool constrained) const {
        return TagId == tag && IsConstrained() == constrained;
    }

protected:
    friend class TASN1ConstrainedTag;

    // Writes the encoding so that it ends just before `end` and returns where it begins; the
    // TagSize() bytes before `end` must be writable. Writing back to front lets a constructed tag
    // learn its length from what its children wrote, so no level is measured twice.
    virtual std::uint8_t* WriteBackward(std::uint8_t* end) const { return end; }
    // The common part of SaveToBuffer: the capacity check and the write.
    bool SaveEncoding(void* buffer, std::uint32_t& size) const;
};

class TASN1SimpleTag : public TASN1CustomTag {
public:
    std::uint64_t TagSize() const override;
    bool SaveToBuffer(void* buffer, std::uint32_t& size) const override;

    const std::string& Content() const { return FData.Value(); }
    void SetContent(std::string bytes) { FData.SetValue(std::move(bytes)); }
    const TASN1DataSource& Data() const { return FData; }

protected:
    std::uint8_t* WriteBackward(std::uint8_t* end) const override;

private:
    TASN1DataSource FData;
};

class TASN1ConstrainedTag : public TASN1CustomTag {
public:
    TASN1ConstrainedTag() = default;
    ~TASN1ConstrainedTag() override;
    TASN1ConstrainedTag(const TASN1ConstrainedTag&) = delete;
    TASN1ConstrainedTag& operator=(const TASN1ConstrainedTag&) = delete;

    bool IsConstrained() const override { return true; }
    std::uint64_t TagSize() const override;
    // Parses the buffer's top-level tags and appends them as children (existing children stay).
    // Returns false when the input is not valid BER of the accepted subset; the children built
    // before the fault stay. No exception reaches the caller.
    // Constructed tags may nest ASN1MaxDepth deep, counted from the buffer's top level (a
    // top-level constructed tag is at depth 1) over definite and indefinite lengths alike; a
    // constructed tag deeper than that fails the load.
    bool LoadFromBuffer(const void* buffer, std::uint32_t size) override;
    bool SaveToBuffer(void* buffer, std::uint32_t& size) const override;

    // Appends a new child (constructed or primitive, TagId 0) and returns its index.
    int AddField(bool constrained);
    // The child at `index`, or null when the index is out of range.
    TASN1CustomTag* GetField(int index) const;
    int Count() const { return static_cast<int>(FChildren.size()); }

protected:
    std::uint8_t* WriteBackward(std::uint8_t* end) const override;

private:
    void LoadTags(const std::uint8_t* data, std::size_t size);

    std::vector<std::unique_ptr<TASN1CustomTag>> FChildren;
};
