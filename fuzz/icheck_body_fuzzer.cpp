// Feeds arbitrary bytes to what the integrity-check import reads out of the migration file: the
// Base64 text of a body and the four body rewrites, whose lengths and offsets come from the body
// itself. The first byte chooses the path; the rest is the text or the body. Every path also checks
// that what it wrote reads back: a rewritten body holds the new name at the place its own lengths
// give, and the Base64 form of any bytes decodes to those bytes.
#include "QuietTrace.h"
#include "base/KvError.h"
#include "icheck/B64Str.h"
#include "icheck/GroupEntryBody.h"
#include "icheck/JobBody.h"
#include "icheck/ScenarioBody.h"
#include "platform/CodePage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using KvMigration::Body;

// A short name and a long one, so that rewrites both shrink and grow bodies.
const std::wstring kNames[] = {L"w", L"ws01.corp.local.with.a-rather-long-name.example"};
const KvMigration::SidBytes kSid = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0,    0, 7, 0,
                                    0, 0, 8, 0, 0, 0, 9, 0, 0,  0, 0xB1, 4, 0, 0};

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void Base64(const uint8_t* data, size_t size) {
    const Body bytes(data, data + size);
    const KvMigration::CB64Str encoded(bytes);
    Check(KvMigration::CB64Str(encoded.Text()).Bytes() == bytes);
    // The same bytes as a text of the file: any characters, the alphabet's among them.
    std::wstring text =
        Platform::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    const KvMigration::CB64Str decoded(text);
    Check(decoded.Bytes().size() <= text.size() * 3 / 4 + 2);
}

void GroupEntry(const Body& body, const std::wstring& name) {
    KvMigration::GroupEntryBody entry(body);
    entry.Kind();
    entry.Name();
    Body list = entry.ClientsList();
    Body group = entry.WithClientsList({4, 0, 0, 0});
    Check(KvMigration::GroupEntryBody(group).Name() == entry.Name());
    try {
        entry.ClientSid();
    } catch (const KvBase::CKvError&) {
        // A SID field that holds no SID: the object is reported and skipped.
    }
    Body client = entry.ForClient(kSid, name);
    KvMigration::GroupEntryBody rewritten(client);
    Check(rewritten.Name() == name);
    Check(rewritten.ClientSid() == kSid);
    Check(rewritten.ClientsList().empty());
}

void Job(const Body& body, const std::wstring& name) {
    KvMigration::JobBody job(body);
    job.Name();
    Body renamed = job.Renamed(name);
    Check(KvMigration::JobBody(renamed).Name() == name);
}

void Scenario(const Body& body, const std::wstring& name) {
    KvMigration::ScenarioBody scenario(body);
    scenario.Name();
    Body rewritten = scenario.Rewritten(name, name + L" text");
    Check(KvMigration::ScenarioBody(rewritten).Name() == name);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KvFuzz::SendTraceNowhere();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t path = data[0];
    const Body body(data + 1, data + size);
    const std::wstring& name = kNames[path >> 7];
    try {
        switch (path & 3) {
            case 0:
                Base64(data + 1, size - 1);
                break;
            case 1:
                GroupEntry(body, name);
                break;
            case 2:
                Job(body, name);
                break;
            default:
                Scenario(body, name);
                break;
        }
    } catch (const KvBase::CKvError&) {
        // A body whose lengths point outside it: refused, as the import refuses it.
    }
    return 0;
}
