#pragma once

#include <cstdint>
#include <string>

#include "helper/Identifiers.h"
#include "icheck/BodyReader.h"

namespace KvMigration {

// The body of a group or client entry (type 6): a header with the entry kind at 16 and the
// client's SID in a 68-byte field at 20; the lengths A, N, B at 88, 92, 96; then a block of A
// bytes, the name (N bytes of UTF-16LE with its terminator), a block of B bytes holding a wide
// text and, in the default group only, the clients list (a 4-byte count and what it counts).
// Every function raises the error object for a body whose lengths reach past its end.
class GroupEntryBody {
public:
    static constexpr uint32_t KindClient = 1;

    // Keeps a reference: the body must outlive the view.
    explicit GroupEntryBody(const Body& body);
    explicit GroupEntryBody(Body&&) = delete;

    uint32_t Kind() const;
    std::wstring Name() const;
    // The client's SID in byte form; raises 1337 when the field holds no valid SID.
    SidBytes ClientSid() const;
    // Everything behind the B block: the clients list of a default group (possibly empty).
    Body ClientsList() const;

    // The default group of another storage with this storage's clients list: the body up to the
    // end of its B block, followed by `clients`.
    Body WithClientsList(const Body& clients) const;
    // The client entry of the same computer in the target domain: the header with `sid` written
    // at the start of the SID field (the rest of the field zero) and the new name's length, the
    // new name, and the B block's text (at most B/2 characters, the rest zero). Nothing behind
    // the B block is kept.
    Body ForClient(const SidBytes& sid, const std::wstring& name) const;

    static constexpr uint64_t KindOffset = 16;
    static constexpr uint64_t SidOffset = 20;
    static constexpr uint64_t SidFieldBytes = 68;
    static constexpr uint64_t LengthsOffset = 88;
    static constexpr uint64_t BlockOffset = 100;

private:
    uint64_t NameOffset() const { return BlockOffset + a_; }
    uint64_t AfterOffset() const { return NameOffset() + n_; }
    uint64_t EndOfBlocks() const { return AfterOffset() + b_; }

    const Body& body_;
    BodyReader reader_;
    uint32_t a_;
    uint32_t n_;
    uint32_t b_;
};

}  // namespace KvMigration
