#pragma once

#include <cstdint>
#include <string>

#include "icheck/BodyReader.h"

namespace KvMigration {

// The body of a resource-control scenario (type 3): the lengths A, N, B, S at 16, 20, 24, 28;
// from 32 a block of A bytes, the name (N bytes of UTF-16LE with its terminator), a block of B
// bytes and the scenario text (S bytes, UTF-16LE with its terminator). Raises the error object
// for lengths that reach past the body.
class ScenarioBody {
public:
    // Keeps a reference: the body must outlive the view.
    explicit ScenarioBody(const Body& body);
    explicit ScenarioBody(Body&&) = delete;

    std::wstring Name() const;
    // The scenario under another name with another text: the header and the A block with the new
    // N and S, the name, the B block and the text. The old text is dropped.
    Body Rewritten(const std::wstring& name, const std::wstring& text) const;

    static constexpr uint64_t LengthsOffset = 16;
    static constexpr uint64_t BlockOffset = 32;

private:
    uint64_t NameOffset() const { return BlockOffset + a_; }

    BodyReader reader_;
    uint32_t a_;
    uint32_t n_;
    uint32_t b_;
};

}  // namespace KvMigration
