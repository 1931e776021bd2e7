#include "helper/MigrationJournal.h"

#include "base/KvError.h"

#include <utility>

namespace KvMigration {

const wchar_t* ObjectActionName(ObjectAction action) {
    switch (action) {
        case ObjectAction::Exported:
            return L"exported";
        case ObjectAction::Created:
            return L"created";
        case ObjectAction::Updated:
            return L"updated";
        case ObjectAction::Skipped:
            return L"skipped";
        case ObjectAction::Deleted:
            return L"deleted";
        case ObjectAction::Failed:
            return L"failed";
    }
    return L"unknown";
}

void MigrationJournal::AddSink(std::shared_ptr<IJournalSink> sink) {
    std::lock_guard guard(lock_);
    if (sink) {
        sinks_.push_back(std::move(sink));
    }
}

void MigrationJournal::BeginSection(const std::wstring& section) {
    std::lock_guard guard(lock_);
    current_ = section;
    TallyOf(section);
    for (const auto& sink : sinks_) {
        sink->OnSection(section);
    }
}

std::wstring MigrationJournal::CurrentSection() const {
    std::lock_guard guard(lock_);
    return current_;
}

SectionTally& MigrationJournal::TallyOf(const std::wstring& section) {
    for (SectionTally& tally : tallies_) {
        if (tally.section == section) {
            return tally;
        }
    }
    tallies_.push_back(SectionTally{section, {}});
    return tallies_.back();
}

void MigrationJournal::Record(ObjectEvent event) {
    std::lock_guard guard(lock_);
    if (event.section.empty()) {
        event.section = current_;
    }
    ++TallyOf(event.section).counts[static_cast<size_t>(event.action)];
    for (const auto& sink : sinks_) {
        sink->OnObject(event, *this);
    }
}

void MigrationJournal::Record(std::wstring kind, std::wstring id, std::wstring name,
                              ObjectAction action, std::wstring reason, uint32_t code) {
    Record(ObjectEvent{
        {}, std::move(kind), std::move(id), std::move(name), action, std::move(reason), code});
}

void MigrationJournal::RecordFailure(ObjectEvent event, const KvBase::IKvErrorW& error) {
    event.action = ObjectAction::Failed;
    event.reason = error.Description();
    event.code = error.Code();
    Record(std::move(event));
}

void MigrationJournal::RecordFailure(std::wstring kind, std::wstring id, std::wstring name,
                                     const KvBase::IKvErrorW& error) {
    RecordFailure(
        ObjectEvent{
            {}, std::move(kind), std::move(id), std::move(name), ObjectAction::Failed, {}, 0},
        error);
}

std::vector<SectionTally> MigrationJournal::Tallies() const {
    std::lock_guard guard(lock_);
    return tallies_;
}

uint64_t MigrationJournal::Total(ObjectAction action) const {
    std::lock_guard guard(lock_);
    uint64_t total = 0;
    for (const SectionTally& tally : tallies_) {
        total += tally.Count(action);
    }
    return total;
}

uint64_t MigrationJournal::Total() const {
    std::lock_guard guard(lock_);
    uint64_t total = 0;
    for (const SectionTally& tally : tallies_) {
        for (uint64_t count : tally.counts) {
            total += count;
        }
    }
    return total;
}

}  // namespace KvMigration
