#pragma once

// Bodies of the integrity-check model built from their parts, as the product lays them out, for
// the tests and the fuzzer's seeds: the tests describe what they expect with these rather than
// with the program's own readers.

#include <cstdint>
#include <string>
#include <vector>

namespace KvTest {

using Bytes = std::vector<uint8_t>;

inline void PutLe32(Bytes& bytes, size_t offset, uint32_t value) {
    if (bytes.size() < offset + 4) {
        bytes.resize(offset + 4);
    }
    for (int i = 0; i < 4; ++i) {
        bytes[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    }
}

inline void Append(Bytes& bytes, const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
}

// UTF-16LE (ASCII and the BMP), optionally with the terminating NUL.
inline Bytes Utf16(const std::wstring& text, bool terminated = true) {
    Bytes bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
    }
    if (terminated) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

// `count` bytes that differ from one label to the next and never contain two zero bytes in a row
// at an even offset, so that they are never taken for a terminator.
inline Bytes Filler(size_t count, uint8_t label) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(label + 7 * i) | 1;
    }
    return bytes;
}

// A SID in its byte form: revision 1, the authority, the sub-authorities.
inline Bytes Sid(uint8_t authority, const std::vector<uint32_t>& subAuthorities) {
    Bytes bytes = {1, static_cast<uint8_t>(subAuthorities.size()), 0, 0, 0, 0, 0, authority};
    for (uint32_t sub : subAuthorities) {
        PutLe32(bytes, bytes.size(), sub);
    }
    return bytes;
}

// Type 6: header, kind at 16, the SID field (68 bytes) at 20, A N B at 88, blocks from 100.
struct GroupEntry {
    uint32_t kind = 0;
    Bytes sidField = Bytes(68, 0);
    Bytes blockA;
    Bytes name;  // as stored, usually Utf16(...)
    Bytes blockB;
    Bytes clients;  // behind the B block
};

inline Bytes MakeGroupEntry(const GroupEntry& entry) {
    Bytes body = Filler(16, 0x30);
    PutLe32(body, 16, entry.kind);
    Bytes field = entry.sidField;
    field.resize(68, 0);
    Append(body, field);
    PutLe32(body, 88, static_cast<uint32_t>(entry.blockA.size()));
    PutLe32(body, 92, static_cast<uint32_t>(entry.name.size()));
    PutLe32(body, 96, static_cast<uint32_t>(entry.blockB.size()));
    Append(body, entry.blockA);
    Append(body, entry.name);
    Append(body, entry.blockB);
    Append(body, entry.clients);
    return body;
}

// A clients list: its count and as many 8-byte entries.
inline Bytes ClientsList(uint32_t count, uint8_t label) {
    Bytes list;
    PutLe32(list, 0, count);
    Append(list, Filler(8 * count, label));
    return list;
}

// Type 1: 57 header bytes, X1 X2 N R at 57, the blocks from 73.
struct Job {
    Bytes lead1;
    Bytes lead2;
    Bytes name;
    Bytes blockR;
    Bytes tail;  // behind the R block
};

inline Bytes MakeJob(const Job& job) {
    Bytes body = Filler(57, 0x50);
    PutLe32(body, 57, static_cast<uint32_t>(job.lead1.size()));
    PutLe32(body, 61, static_cast<uint32_t>(job.lead2.size()));
    PutLe32(body, 65, static_cast<uint32_t>(job.name.size()));
    PutLe32(body, 69, static_cast<uint32_t>(job.blockR.size()));
    Append(body, job.lead1);
    Append(body, job.lead2);
    Append(body, job.name);
    Append(body, job.blockR);
    Append(body, job.tail);
    return body;
}

// Type 3: 16 header bytes, A N B S at 16, the blocks from 32.
struct Scenario {
    Bytes blockA;
    Bytes name;
    Bytes blockB;
    Bytes text;
};

inline Bytes MakeScenario(const Scenario& scenario) {
    Bytes body = Filler(16, 0x70);
    PutLe32(body, 16, static_cast<uint32_t>(scenario.blockA.size()));
    PutLe32(body, 20, static_cast<uint32_t>(scenario.name.size()));
    PutLe32(body, 24, static_cast<uint32_t>(scenario.blockB.size()));
    PutLe32(body, 28, static_cast<uint32_t>(scenario.text.size()));
    Append(body, scenario.blockA);
    Append(body, scenario.name);
    Append(body, scenario.blockB);
    Append(body, scenario.text);
    return body;
}

}  // namespace KvTest
