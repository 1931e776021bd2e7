#pragma once

#include <map>
#include <set>
#include <string>

#include "helper/CValue.h"
#include "helper/ObjectText.h"
#include "xml/Importer.h"

namespace KvMigration {

using ScheduleKind = int;
inline constexpr ScheduleKind ServerJournalSchedule = 0;
inline constexpr ScheduleKind ComputerJournalSchedule = 1;
inline constexpr ScheduleKind ServerArchiveSchedule = 2;

// A weekly schedule as read from the old form. Texts are ordered ordinally, so hour "10" comes
// before hour "2".
struct ScheduleData {
    std::map<std::wstring, std::set<std::wstring>> days;  // day -> hours
    std::map<std::wstring, std::wstring> flags;           // journal flag -> value
    friend bool operator==(const ScheduleData&, const ScheduleData&) = default;
};

using AttributeMap = std::map<std::wstring, CValue>;

// Rewrites the weekly journal schedules of servers and services from the old form (one `Item`
// per day and hour, flags on the root) into the new one (items inside `Week`, minute "0").
// Schedules of other types pass unchanged.
class CJournalScheduleTransformer {
public:
    // A server transforms its journal and archive schedules, a service its computer journal
    // schedule; other kinds are left alone.
    void Transform(ObjectKind kind, AttributeMap& attributes);
    template <typename Record>
    void Transform(Record& record) {
        Transform(record.kind, record.attributes);
    }

    void TransformSchedule(AttributeMap& attributes, ScheduleKind kind);

    // Raise code 87 for an unknown kind.
    static std::wstring ScheduleLdsAttribute(ScheduleKind kind);
    static std::wstring ScheduleXmlNode(ScheduleKind kind);

    std::wstring WriteSchedule(const ScheduleData& data) const;

    // Reads one old-form schedule; registered for the path of the schedule's root element.
    class CJournalScheduleReader : public IImporter {
    public:
        explicit CJournalScheduleReader(ScheduleKind kind) : kind_(kind) {}

        const ScheduleData& Data() const { return data_; }
        // Whether the document's root was the schedule's root element.
        bool Started() const { return started_; }

        // Raises code 87 when a journal flag of a log schedule is missing.
        void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
        // Raises code 87 for an `Item` without `day` or `hour`.
        void StartNode(const std::wstring& name, const Attributes& attributes) override;
        void Value(const std::wstring&) override {}
        void EndNode(const std::wstring&) override {}
        void EndImport() override {}

    private:
        ScheduleKind kind_;
        ScheduleData data_;
        bool started_ = false;
    };

private:
    ScheduleKind kind_ = ServerJournalSchedule;
};

}  // namespace KvMigration
