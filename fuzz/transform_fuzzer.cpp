// Feeds arbitrary text to the setting transformers and the group-policy template path: the
// template's text-mode reading, parser and policy documents (with their normalisation), nibble
// strings (as given, and with a correct checksum so that the blob inflater sees arbitrary bytes),
// mail settings, journal schedules, the copy of the unauthorised-access filter and device
// policies (the outer document as given, or the text as the inner document of a written outer
// one). The first byte picks the path, and for device policies also the target version; the rest
// is the text (UTF-8, or the template's bytes).
//
// The readers end the process, as designed, when the root element of a mail-settings or
// log-schedule document lacks a required attribute; such inputs are recognised first and skipped.
//
// The filter copy is read again and must give the reader's events of the original, except the
// text of elements with children, which the copy leaves out by design. Filters with a prefixed
// attribute name are skipped: the reader delivers no namespace declarations to copy.
//
// A rewritten device policy must read back as the data it was written from, and a second
// transformation must leave it as it is.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QuietTrace.h"
#include "base/KvError.h"
#include "platform/CodePage.h"
#include "server/IniParser.h"
#include "server/KvGpeXml.h"
#include "server/KvPolicy.h"
#include "server/PolicyTemplate.h"
#include "server/PolicyValue.h"
#include "server/UaFilterExport.h"
#include "support/GpeBlob.h"
#include "transform/DevicePolicyTransformer.h"
#include "transform/DevicePolicyWriter.h"
#include "transform/JournalSchedule.h"
#include "transform/MailSettings.h"
#include "xml/SaxReader.h"

namespace {

using namespace KvMigration;

class RootProbe : public IImporter {
public:
    void BeginImport(const MigrationContext&, const Attributes& attributes) override {
        seen = true;
        root = attributes;
    }
    void StartNode(const std::wstring&, const Attributes&) override {}
    void Value(const std::wstring&) override {}
    void EndNode(const std::wstring&) override {}
    void EndImport() override {}

    bool seen = false;
    Attributes root;
};

// False when the document's root `rootName` lacks one of `required`.
bool RootHasAll(const std::wstring& text, const wchar_t* rootName,
                std::initializer_list<const wchar_t*> required) {
    auto probe = std::make_shared<RootProbe>();
    SaxReader reader(XmlSource{text}, MigrationContext{});
    reader.RegisterImporter(rootName, probe);
    reader.Resume();
    if (!probe->seen) {
        return true;
    }
    for (const wchar_t* name : required) {
        if (!probe->root.contains(name)) {
            return false;
        }
    }
    return true;
}

// The events of a section as text lines, without the text of the section element and of elements
// that have children.
class EventLog : public IImporter {
public:
    void BeginImport(const MigrationContext&, const Attributes& attributes) override {
        Add(L"begin", attributes);
        hadChildren_.assign(1, true);
    }
    void StartNode(const std::wstring& name, const Attributes& attributes) override {
        Add(L"start " + name, attributes);
        if (!hadChildren_.empty()) {
            hadChildren_.back() = true;
        }
        hadChildren_.push_back(false);
    }
    void Value(const std::wstring& text) override {
        if (!hadChildren_.empty() && !hadChildren_.back()) {
            lines.push_back(L"value " + text);
        }
    }
    void EndNode(const std::wstring& name) override {
        lines.push_back(L"end " + name);
        if (!hadChildren_.empty()) {
            hadChildren_.pop_back();
        }
    }
    void EndImport() override { lines.push_back(L"done"); }

    std::vector<std::wstring> lines;
    bool prefixed = false;

private:
    void Add(const std::wstring& line, const Attributes& attributes) {
        lines.push_back(line);
        for (const auto& [name, value] : attributes) {
            prefixed = prefixed || name.find(L':') != std::wstring::npos;
            lines.push_back(L"  " + name + L"=" + value);
        }
    }

    std::vector<bool> hadChildren_;
};

// Keeps the text of the element the filter copy writes.
class TextWriter : public ISaxWriter {
public:
    void StartNode(const std::wstring&, const std::wstring& value) override { text = value; }
    void WriteAttribute(const std::wstring&, const std::wstring&) override {}
    std::wstring EndNode() override { return {}; }

    std::wstring text;
};

std::shared_ptr<EventLog> ReadFilter(const std::wstring& text, ReadOutcome& outcome) {
    auto log = std::make_shared<EventLog>();
    SaxReader reader(XmlSource{text}, MigrationContext{});
    reader.RegisterImporter(L"UAFilter", log);
    reader.Resume();
    outcome = reader.Outcome();
    return log;
}

void FilterCopyPath(const std::wstring& text) {
    ReadOutcome outcome = ReadOutcome::NotRead;
    std::shared_ptr<EventLog> original = ReadFilter(text, outcome);
    if (outcome != ReadOutcome::Complete || original->lines.empty() || original->prefixed) {
        return;
    }
    auto writer = std::make_shared<TextWriter>();
    auto filter = std::make_shared<UaFilterExport>(writer);
    SaxReader reader(XmlSource{text}, MigrationContext{});
    reader.RegisterImporter(L"UAFilter", filter);
    reader.Resume();
    std::shared_ptr<EventLog> copy = ReadFilter(writer->text, outcome);
    if (outcome != ReadOutcome::Complete || copy->lines != original->lines) {
        std::abort();
    }
}

void TemplatePath(const std::wstring& text) {
    PolicyTemplate policy;
    if (ParsePolicyTemplate(text, policy) != IniParsed) {
        return;
    }
    ObjectDataPtr record = WriteKvPolicy(policy);
    if (!record) {
        return;
    }
    TransformPolicyValue(record->attributes[L"orvexKVPolicyBase"].text);
    TransformPolicyValue(record->attributes[L"orvexKVPolicyDevices"].text);
}

void MailSettingsPath(const std::wstring& text) {
    if (text.empty() ||
        !RootHasAll(text, L"UAMailFilter",
                    {L"from", L"mailServer", L"user", L"password", L"port", L"authenticate"})) {
        return;
    }
    TransformMailSettingsText(text);
}

void SchedulePath(const std::wstring& text) {
    if (!RootHasAll(text, L"LogSchedule",
                    {L"saveLogCopy", L"takeLogExceed", L"collectApplicationLog",
                     L"collectSecurityLog", L"collectSystemLog", L"takeLogLogin"})) {
        return;
    }
    AttributeMap server{{L"orvexKVOMSShedule", CValue(text)},
                        {L"orvexKVOMSArchiveJournalSchedule", CValue(text)}};
    CJournalScheduleTransformer().Transform(KindServer, server);
    AttributeMap service{{L"orvexKVComputerShedule", CValue(text)}};
    CJournalScheduleTransformer().Transform(KindService, service);
}

constexpr SchemaVersion kDeviceVersions[] = {{7, 18}, {8, 2}, {8, 3}, {8, 4}};

bool HasNodeWithoutUniqueName(const DeviceList& nodes) {
    for (const DeviceNode& node : nodes) {
        if (!node.attributes.contains(L"UniqueName") || HasNodeWithoutUniqueName(node.children)) {
            return true;
        }
    }
    return false;
}

void DevicePolicyPath(const std::wstring& text, SchemaVersion version) {
    using Writer = CDevicePolicyTransformer::CDevicePolicyWriter;
    const CDevicePolicyTransformer transformer;
    std::optional<std::wstring> once = transformer.TransformText(text, version);
    if (!once) {
        return;
    }
    DevicePolicyData expected = CDevicePolicyTransformer::ReadDocument(text);
    Writer(transformer.UpdateSteps(version)).ApplyUpdates(expected.nodes);
    DevicePolicyData written;
    try {
        written = CDevicePolicyTransformer::ReadDocument(*once);
    } catch (const KvBase::CKvError&) {
        std::abort();
    }
    if (!(written == expected)) {
        std::abort();
    }
    try {
        std::optional<std::wstring> twice = transformer.TransformText(*once, version);
        if (!twice || *twice != *once) {
            std::abort();
        }
    } catch (const KvBase::CKvError&) {
        // The sort may move a node without `UniqueName` in front of a device that the search
        // stopped at the first time; only then may the second search meet it.
        if (!HasNodeWithoutUniqueName(written.nodes)) {
            std::abort();
        }
    }
}

void WrappedDevicePolicyPath(const std::wstring& inner, SchemaVersion version) {
    DevicePolicyData data;
    data.guid = L"{6D1A}";
    data.revision = L"1";
    data.policiesType = L"Devices";
    data.policyType = L"XMLString";
    data.uniqueName = L"DeviceControl";
    DevicePolicyPath(CDevicePolicyTransformer::CDevicePolicyWriter::WriteOuter(data, inner),
                     version);
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
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        const SchemaVersion version = kDeviceVersions[data[0] / 9 % std::size(kDeviceVersions)];
        switch (data[0] % 9) {
            case 0:
                TemplatePath(PolicyTemplateText(bytes));
                break;
            case 1:
                NibbleStringToString(Platform::Utf8ToWide(bytes));
                break;
            case 2:
                NibbleStringToString(KvTest::MakeNibbles(bytes));
                break;
            case 3:
                MailSettingsPath(Platform::Utf8ToWide(bytes));
                break;
            case 4:
                SchedulePath(Platform::Utf8ToWide(bytes));
                break;
            case 5:
                TransformPolicyValue(Platform::Utf8ToWide(bytes));
                break;
            case 6:
                FilterCopyPath(Platform::Utf8ToWide(bytes));
                break;
            case 7:
                DevicePolicyPath(Platform::Utf8ToWide(bytes), version);
                break;
            case 8:
                WrappedDevicePolicyPath(Platform::Utf8ToWide(bytes), version);
                break;
        }
    } catch (const KvBase::CKvError&) {
        // Every defect of the input is to be reported as an error object; that is the expected
        // outcome, not a finding.
    }
    return 0;
}
