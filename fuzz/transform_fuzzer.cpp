// Feeds arbitrary text to the setting transformers and the group-policy template path: the
// template parser and policy documents (with their normalisation), nibble strings (as given, and
// with a correct checksum so that the blob inflater sees arbitrary bytes), mail settings and
// journal schedules. The first byte picks the path; the rest is the text (UTF-8).
//
// The readers end the process, as designed, when the root element of a mail-settings or
// log-schedule document lacks a required attribute; such inputs are recognised first and skipped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "QuietTrace.h"
#include "base/KvError.h"
#include "platform/CodePage.h"
#include "server/IniParser.h"
#include "server/KvGpeXml.h"
#include "server/KvPolicy.h"
#include "server/PolicyTemplate.h"
#include "server/PolicyValue.h"
#include "support/GpeBlob.h"
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
        switch (data[0] % 6) {
            case 0:
                TemplatePath(Platform::AnsiToWide(bytes));
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
        }
    } catch (const KvBase::CKvError&) {
        // Every defect of the input is to be reported as an error object; that is the expected
        // outcome, not a finding.
    }
    return 0;
}
