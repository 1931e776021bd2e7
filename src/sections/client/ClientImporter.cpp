#include "sections/client/ClientImporter.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "client/ClientSwitches.h"
#include "helper/ConsoleOutput.h"
#include "platform/CodePage.h"
#include "sections/client/ClientReport.h"

namespace KvMigration {
namespace {

constexpr uint32_t kAccessDenied = 5;
constexpr wchar_t kFatal[] = L"Client importer fatal error - check logs for details.";
constexpr char kIgnored[] = "%s(): no Users and Elids import, exit--";

// Empties the current record however the element ends, so that nothing of it reaches the next.
class ClearOnExit {
public:
    explicit ClearOnExit(CNodeHolder& record) : record_(record) {}
    ~ClearOnExit() { record_.Clear(); }
    ClearOnExit(const ClearOnExit&) = delete;
    ClearOnExit& operator=(const ClearOnExit&) = delete;

private:
    CNodeHolder& record_;
};

}  // namespace

ClientImporter::ClientImporter(std::shared_ptr<IObjectMapper> mapper)
    : mapper_(std::move(mapper)) {}

bool ClientImporter::CheckImportContext(const MigrationContext& context) {
    const wchar_t* function = L"ClientImporter::CheckImportContext";
    try {
        if (context.serverSid.empty()) {
            KV_RAISE_ERROR(function, L"OMS Server SID is empty.");
        }
        if (!context.storage.ldsSession) {
            KV_RAISE_ERROR(function, L"No LDS security domain connection.");
        }
        return true;
    } catch (const KvBase::CKvError& e) {
        RecordPartFailure(*context.journal, L"Client", e);
        ReportClientError(e);
        return false;
    }
}

void ClientImporter::BeginImport(const MigrationContext& context, const Attributes&) {
    if (!CheckImportContext(context)) {
        PrintMessage(
            L"Input import context is invalid. Client data import impossible. See logs for "
            L"details.");
        return;
    }
    const std::wstring host = context.storage.ldsSession->server().host;
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"%s(LDS: %ls, OMS: %ls)++",
                             "ClientImporter::BeginImport", host.c_str(),
                             context.serverSid.c_str());
    PrintParts({L"Client objects import started for LDS server: ", host});
    SetLdsStorageMode(true);
    SetForceImportMode(context.forceImport);
    context_ = context;
    active_ = true;
    try {
        session_.Initialize(context_.storage.ldsSession, context_.serverSid, true);
        initialised_ = true;
        PrintParts({L"Client objects will be imported into: ", session_.BaseDn()});
        KvBase::GetTrace().Trace(KvBase::TraceInfo, "%s()--", "ClientImporter::BeginImport");
    } catch (const KvBase::CKvError& e) {
        PrintParts({L"Client objects import error: ", e.Description()});
        RecordPartFailure(*context_.journal, L"Client", e);
        ReportClientError(e);
    }
}

bool ClientImporter::Working(const char* function) {
    if (!active_) {
        KvBase::GetTrace().Trace(KvBase::TraceInfo, kIgnored, function);
        return false;
    }
    if (!initialised_) {
        KV_RAISE_ERROR(Platform::Utf8ToWide(function), kFatal);
    }
    return true;
}

void ClientImporter::StartNode(const std::wstring& name, const Attributes& attributes) {
    const char* function = "ClientImporter::StartNode";
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"%s(%ls)++", function, name.c_str());
    try {
        if (!Working(function)) {
            return;
        }
        record_.className = name;
        record_.attributes.insert(attributes.begin(), attributes.end());
        KvBase::GetTrace().Trace(KvBase::TraceInfo, "%s()--", function);
    } catch (const KvBase::CKvError& e) {
        ReportClientError(e);
    }
}

void ClientImporter::Value(const std::wstring& text) {
    const char* function = "ClientImporter::Value";
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"%s(%ls)++", function, text.c_str());
    try {
        if (!Working(function)) {
            return;
        }
        record_.name = text;
        KvBase::GetTrace().Trace(KvBase::TraceInfo, "%s()--", function);
    } catch (const KvBase::CKvError& e) {
        ReportClientError(e);
    }
}

void ClientImporter::EndNode(const std::wstring& name) {
    const char* function = "ClientImporter::EndNode";
    KvBase::ITrace& trace = KvBase::GetTrace();
    trace.Trace(KvBase::TraceInfo, L"%s(%ls)++", function, name.c_str());
    ClearOnExit clear(record_);
    if (!active_) {
        trace.Trace(KvBase::TraceInfo, kIgnored, function);
        return;
    }
    if (state_ == kAccessDenied) {
        trace.Trace(KvBase::TraceInfo, "%s(): error Access Denied, exit--", function);
        return;
    }
    if (state_ != 0) {
        trace.Trace(KvBase::TraceInfo, "%s(): connection lost, exit--", function);
        return;
    }
    try {
        if (!initialised_) {
            KV_RAISE_ERROR(L"ClientImporter::EndNode", kFatal);
        }
        if (std::shared_ptr<INodeImporter> importer = CreateNodeImporter(name)) {
            if (!importer->Import(record_)) {
                state_ = counters_.stoppedBy != 0 ? counters_.stoppedBy : kAccessDenied;
                KV_RAISE_ERROR_CODE(L"ClientImporter::EndNode", state_);
            }
        } else if (name == L"Globals") {
            PrintParts({L"Imported ", std::to_wstring(counters_.globals),
                        L" Global Quill Data (orvexKVGQuillData) objects."});
        } else if (name == L"Users") {
            PrintParts(
                {L"Imported ", std::to_wstring(counters_.users), L" users (person) objects."});
        } else if (name == L"Elids") {
            PrintParts({L"Imported ", std::to_wstring(counters_.tokens),
                        L" user tokens (orvexKVUEI) objects."});
        }
    } catch (const KvBase::CKvError& e) {
        ReportClientError(e);
    }
    trace.Trace(KvBase::TraceInfo, "%s()--", function);
}

void ClientImporter::EndImport() {
    const char* function = "ClientImporter::EndImport";
    KvBase::ITrace& trace = KvBase::GetTrace();
    trace.Trace(KvBase::TraceInfo, "%s()++", function);
    if (state_ == kAccessDenied) {
        trace.Trace(KvBase::TraceInfo, "%s()--, access denied", function);
        KV_RAISE_ERROR_CODE(L"ClientImporter::EndImport", kAccessDenied);
    }
    if (state_ != 0) {
        trace.Trace(KvBase::TraceInfo, "%s()--, connection lost", function);
        RaiseConnectionLost();
    }
    if (!active_) {
        trace.Trace(KvBase::TraceInfo, kIgnored, function);
        return;
    }
    try {
        if (!initialised_) {
            KV_RAISE_ERROR(L"ClientImporter::EndImport", kFatal);
        }
        PrintMessage(L"Client objects import finished.");
        trace.Trace(KvBase::TraceInfo, "%s()--", function);
    } catch (const KvBase::CKvError& e) {
        ReportClientError(e);
    }
}

void ClientImporter::RaiseConnectionLost() const {
    // The code's own text ("The specified server cannot perform the requested operation.") leaves
    // an administrator guessing what became of the import.
    KvBase::CKvError error(state_, KvBase::SourceName(__FILE__), __LINE__,
                           L"ClientImporter::EndImport");
    error.SetEntry(L"Description",
                   error.Description() +
                       L" The connection to the target was lost during the client objects "
                       L"import: " +
                       std::to_wstring(counters_.globals) + L" Global Quill Data, " +
                       std::to_wstring(counters_.users) + L" users and " +
                       std::to_wstring(counters_.tokens) +
                       L" user tokens were imported; the rest of the Client section and the "
                       L"sections after it were not. Run the import again once the target "
                       L"answers.");
    throw error;
}

std::shared_ptr<INodeImporter> ClientImporter::CreateNodeImporter(const std::wstring& name) {
    const char* function = "ClientImporter::CreateNodeImporter";
    if (name == L"Globals" || name == L"Users" || name == L"Elids") {
        KvBase::GetTrace().Trace(KvBase::TraceInfo, L"%s(%ls):container node, return NULL",
                                 function, name.c_str());
        return nullptr;
    }
    if (name == GlobalCategory) {
        return MakeNodeImporter<CGlobalNodeImporter>(session_, counters_, *context_.journal);
    }
    if (name == UserCategory) {
        return MakeNodeImporter<CUsersNodeImporter>(session_, counters_, *context_.journal);
    }
    if (name == ElidCategory) {
        return MakeNodeImporter<CElidsNodeImporter>(session_, counters_, *context_.journal);
    }
    KvBase::GetTrace().Trace(KvBase::TraceError, L"%s:could not create importer for %ls", function,
                             name.c_str());
    return nullptr;
}

}  // namespace KvMigration
