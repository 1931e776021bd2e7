#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace KvBase {
class IKvErrorW;
}

namespace KvMigration {

// What a pass did with one object of a section.
enum class ObjectAction : uint8_t { Exported, Created, Updated, Skipped, Deleted, Failed };
inline constexpr size_t ObjectActionCount = 6;

// "exported", "created", "updated", "skipped", "deleted", "failed".
const wchar_t* ObjectActionName(ObjectAction action);

// One object a pass handled. `section` is the element name of the section ("Oms", "Client",
// "ICheck", "Mapping", "Common"); `kind` the object kind as the file or the directory names it
// ("Server", "Service", "Policy", "Container", "User", "Token", ...).
struct ObjectEvent {
    std::wstring section;
    std::wstring kind;
    std::wstring id;
    std::wstring name;
    ObjectAction action = ObjectAction::Exported;
    std::wstring reason;  // why it was skipped or failed
    uint32_t code = 0;    // the error code of a failure
};

// The counts of one section, by action, in the order of ObjectAction.
struct SectionTally {
    std::wstring section;
    std::array<uint64_t, ObjectActionCount> counts{};
    uint64_t Count(ObjectAction action) const { return counts[static_cast<size_t>(action)]; }
};

class MigrationJournal;

// Learns of every object as it is recorded: the console progress, the per-object report.
class IJournalSink {
public:
    virtual ~IJournalSink() = default;
    virtual void OnSection(const std::wstring& /*section*/) {}
    virtual void OnObject(const ObjectEvent& event, const MigrationJournal& journal) = 0;
};

// The account of one pass, object by object. Sections record what they did; the pass names the
// section whose importer or exporter runs, so that sections need not name themselves.
class MigrationJournal {
public:
    void AddSink(std::shared_ptr<IJournalSink> sink);

    // The section whose exporter or importer runs from now on.
    void BeginSection(const std::wstring& section);
    std::wstring CurrentSection() const;

    // An event without a section is counted under the current one.
    void Record(ObjectEvent event);
    void Record(std::wstring kind, std::wstring id, std::wstring name, ObjectAction action,
                std::wstring reason = {}, uint32_t code = 0);
    // The event as failed, with the error's description as the reason and its code.
    void RecordFailure(ObjectEvent event, const KvBase::IKvErrorW& error);
    void RecordFailure(std::wstring kind, std::wstring id, std::wstring name,
                       const KvBase::IKvErrorW& error);

    // Every section that began or recorded an object, in the order they first appeared.
    std::vector<SectionTally> Tallies() const;
    uint64_t Total(ObjectAction action) const;
    uint64_t Total() const;

private:
    SectionTally& TallyOf(const std::wstring& section);

    mutable std::recursive_mutex lock_;
    std::vector<std::shared_ptr<IJournalSink>> sinks_;
    std::vector<SectionTally> tallies_;
    std::wstring current_;
};

using MigrationJournalPtr = std::shared_ptr<MigrationJournal>;

}  // namespace KvMigration
