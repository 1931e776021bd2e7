#include "transform/JournalSchedule.h"

#include <memory>

#include "base/KvError.h"
#include "base/Trace.h"
#include "xml/SaxReader.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

constexpr uint32_t kErrorInvalidParameter = 87;
constexpr const wchar_t* kWeekly = L"scheduleType=\"Weekly\"";
constexpr const wchar_t* kJournalFlags[] = {L"saveLogCopy",           L"takeLogExceed",
                                            L"collectApplicationLog", L"collectSecurityLog",
                                            L"collectSystemLog",      L"takeLogLogin"};

const std::wstring& ReadAttribute(const Attributes& attributes, const wchar_t* name) {
    auto found = attributes.find(name);
    if (found == attributes.end()) {
        KV_RAISE_ERROR_CODE(L"CJournalScheduleTransformer::CJournalScheduleReader::ReadAttribute",
                            kErrorInvalidParameter);
    }
    return found->second;
}

bool CarriesJournalFlags(ScheduleKind kind) {
    return kind != ServerArchiveSchedule;
}

}  // namespace

void CJournalScheduleTransformer::CJournalScheduleReader::BeginImport(
    const MigrationContext&, const Attributes& attributes) {
    started_ = true;
    if (!CarriesJournalFlags(kind_)) {
        return;
    }
    for (const wchar_t* flag : kJournalFlags) {
        data_.flags[flag] = ReadAttribute(attributes, flag);
    }
}

void CJournalScheduleTransformer::CJournalScheduleReader::StartNode(const std::wstring& name,
                                                                    const Attributes& attributes) {
    if (name != L"Item") {
        return;
    }
    const std::wstring& day = ReadAttribute(attributes, L"day");
    const std::wstring& hour = ReadAttribute(attributes, L"hour");
    data_.days[day].insert(hour);
}

std::wstring CJournalScheduleTransformer::ScheduleLdsAttribute(ScheduleKind kind) {
    switch (kind) {
        case ServerJournalSchedule:
            return L"orvexKVOMSShedule";
        case ComputerJournalSchedule:
            return L"orvexKVComputerShedule";
        case ServerArchiveSchedule:
            return L"orvexKVOMSArchiveJournalSchedule";
    }
    KV_RAISE_ERROR_CODE(L"CJournalScheduleTransformer::ScheduleLdsAttribute",
                        kErrorInvalidParameter);
}

std::wstring CJournalScheduleTransformer::ScheduleXmlNode(ScheduleKind kind) {
    switch (kind) {
        case ServerJournalSchedule:
        case ComputerJournalSchedule:
            return L"LogSchedule";
        case ServerArchiveSchedule:
            return L"ArchiveSchedule";
    }
    KV_RAISE_ERROR_CODE(L"CJournalScheduleTransformer::ScheduleXmlNode", kErrorInvalidParameter);
}

void CJournalScheduleTransformer::Transform(ObjectKind kind, AttributeMap& attributes) {
    if (kind == KindServer) {
        TransformSchedule(attributes, ServerJournalSchedule);
        TransformSchedule(attributes, ServerArchiveSchedule);
    } else if (kind == KindService) {
        TransformSchedule(attributes, ComputerJournalSchedule);
    }
}

void CJournalScheduleTransformer::TransformSchedule(AttributeMap& attributes, ScheduleKind kind) {
    kind_ = kind;
    const std::wstring attribute = ScheduleLdsAttribute(kind);
    auto found = attributes.find(attribute);
    // A schedule is one text; a list is not a schedule this code knows.
    if (found == attributes.end() || found->second.isMulti || found->second.text.empty()) {
        return;
    }
    const std::wstring& text = found->second.text;
    if (text.find(kWeekly) == std::wstring::npos) {
        return;
    }
    auto reader = std::make_shared<CJournalScheduleReader>(kind);
    {
        SaxReader sax(XmlSource{text}, MigrationContext{});
        sax.RegisterImporter(ScheduleXmlNode(kind), reader);
        sax.Resume();
        if (sax.Outcome() == ReadOutcome::Damaged) {
            KV_RAISE_ERROR(L"CJournalScheduleTransformer::TransformSchedule",
                           attribute + L": " + sax.DamagedDocumentError());
        }
    }
    if (!reader->Started()) {
        // Writing an empty schedule would drop the stored one; keep it as it is.
        KvBase::GetTrace().Trace(KvBase::TraceError,
                                 L"The schedule %ls has no %ls element and is kept unchanged",
                                 attribute.c_str(), ScheduleXmlNode(kind).c_str());
        return;
    }
    found->second = CValue(WriteSchedule(reader->Data()));
}

std::wstring CJournalScheduleTransformer::WriteSchedule(const ScheduleData& data) const {
    std::wstring text;
    {
        SaxWriter writer(&text, MigrationContext{});
        writer.StartNode(ScheduleXmlNode(kind_), L"");
        for (const auto& [name, value] : data.flags) {
            writer.WriteAttribute(name, value);
        }
        writer.WriteAttribute(L"scheduleType", L"Weekly");
        writer.StartNode(L"Week", L"");
        for (const auto& [day, hours] : data.days) {
            for (const std::wstring& hour : hours) {
                writer.StartNode(L"Item", L"");
                writer.WriteAttribute(L"day", day);
                writer.WriteAttribute(L"hour", hour);
                writer.WriteAttribute(L"minute", L"0");
                writer.EndNode();
            }
        }
        writer.EndNode();
        writer.EndNode();
    }
    return text;
}

}  // namespace KvMigration
