#pragma once

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Stream.h"

// The bytes of a file whose reads fail with the system's error (EIO) once they reach past its
// first `good` bytes, as on a failing disk or a lost network folder; or, with `changes`, a file
// that another program writes as soon as a read reaches past them. Readers on several threads
// may share it.
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
        const std::size_t allowed = Allow(position, count);
        return TMemoryStream::Read(buffer, allowed);
    }
    std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t count) override {
        return TMemoryStream::ReadAt(position, buffer, Allow(position, count));
    }
    bool ReadFailed() const override {
        const std::lock_guard<std::mutex> hold(FLock);
        return FFailed;
    }
    [[noreturn]] void RaiseReadError() const override { throw EReadError(Name, EIO); }
    TStamp Stamp() const override {
        const std::lock_guard<std::mutex> hold(FLock);
        return {0, 0, 0, FChanged ? 1 : 0, 0};
    }

protected:
    [[noreturn]] void RaiseChanged() const override { throw EFileChanged(Name); }

private:
    std::size_t Allow(std::uint64_t position, std::size_t count) {
        const std::lock_guard<std::mutex> hold(FLock);
        if (position + count <= FGood)
            return count;
        if (FChanges) {
            FChanged = true;
            return count;
        }
        FFailed = true;
        return position < FGood ? static_cast<std::size_t>(FGood - position) : 0;
    }

    std::uint64_t FGood;
    bool FChanges;
    mutable std::mutex FLock;
    bool FFailed = false;
    bool FChanged = false;
};
