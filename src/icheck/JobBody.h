#pragma once

#include <cstdint>
#include <string>

#include "icheck/BodyReader.h"

namespace KvMigration {

// The body of a resource-control job (type 1): the lengths X1, X2, N, R at 57, 61, 65, 69; from
// 73 the two leading blocks (X1 + X2 bytes), the name (N bytes of UTF-16LE with its terminator)
// and a block of R bytes. Raises the error object for lengths that reach past the body.
class JobBody {
public:
    // Keeps a reference: the body must outlive the view.
    explicit JobBody(const Body& body);
    explicit JobBody(Body&&) = delete;

    std::wstring Name() const;
    // The same job under another name: the header and leading blocks with the new N, the name,
    // and the R block; nothing behind the R block is kept.
    Body Renamed(const std::wstring& name) const;

    static constexpr uint64_t LengthsOffset = 57;
    static constexpr uint64_t BlocksOffset = 73;

private:
    uint64_t NameOffset() const { return BlocksOffset + static_cast<uint64_t>(x1_) + x2_; }

    BodyReader reader_;
    uint32_t x1_;
    uint32_t x2_;
    uint32_t n_;
    uint32_t r_;
};

}  // namespace KvMigration
