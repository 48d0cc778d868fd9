#pragma once

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Stream.h"

// The bytes of a file whose reads fail with the system's error (EIO) once they reach past its
// first `good` bytes, as on a failing disk or a lost network folder; or, with `changes`, a file
// that another program writes as soon as a read reaches past them: from there on the reader gets
// other bytes, which read as damage. Readers on several threads may share it.
class TFailingStream : public TMemoryStream {
public:
    static inline const std::string Name = "budget.qn";
    // What the reader of each is told.
    static inline const std::string Failed =
        "Stream read error in file \"" + Name + "\": " + SystemErrorMessage(EIO);
    static inline const std::string Changed =
        "Cannot open file \"" + Name + "\": another program changed it while it was being read";

    TFailingStream(std::string bytes, std::uint64_t good, bool changes)
        : TMemoryStream(std::move(bytes)), FGood(good), FChanges(changes) {}

    std::size_t Read(void* buffer, std::size_t count) override {
        const std::uint64_t position = Position();
        Allow(position, count);
        return Other(position, buffer, TMemoryStream::Read(buffer, count));
    }
    std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t count) override {
        Allow(position, count);
        return Other(position, buffer, TMemoryStream::ReadAt(position, buffer, count));
    }
    TStamp Stamp() const override {
        const std::lock_guard<std::mutex> hold(FLock);
        return {0, 0, 0, FChanged ? 1 : 0, 0};
    }

protected:
    [[noreturn]] void RaiseChanged() const override { throw EFileChanged(Name); }

private:
    // The other program's version of the bytes past the good ones.
    std::size_t Other(std::uint64_t position, void* buffer, std::size_t count) const {
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        for (std::size_t i = 0; FChanges && i < count; ++i)
            if (position + i >= FGood)
                bytes[i] ^= 0x5A;
        return count;
    }

    // A read past the good bytes fails, as the system's read does, or marks the file changed.
    void Allow(std::uint64_t position, std::size_t count) {
        if (position + count <= FGood)
            return;
        if (!FChanges)
            throw EReadError(Name, EIO);
        const std::lock_guard<std::mutex> hold(FLock);
        FChanged = true;
    }

    std::uint64_t FGood;
    bool FChanges;
    mutable std::mutex FLock;
    bool FChanged = false;
};
