#include "sections/client/ClientExporter.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "client/ClientSwitches.h"
#include "helper/ConsoleOutput.h"
#include "sections/client/ClientReport.h"

namespace KvMigration {
namespace {

std::wstring HostOf(const LdapHelper::session_ptr& session) {
    return session ? session->server().host : std::wstring(L"none");
}

}  // namespace

bool ClientExporter::CheckExportContext(const MigrationContext& context) {
    const wchar_t* function = L"ClientExporter::CheckExportContext";
    try {
        if (context.serverSid.empty()) {
            KV_RAISE_ERROR(function, L"OMS Server SID is empty.");
        }
        if (context.storage.isLds && !context.storage.ldsGcSession) {
            KV_RAISE_ERROR(function, L"No LDS global catalog connection.");
        }
        if (!context.storage.isLds && !context.storage.adSession) {
            KV_RAISE_ERROR(function, L"No Active Directory connection.");
        }
        return true;
    } catch (const KvBase::CKvError& e) {
        RecordPartFailure(*journal_, L"Client", e);
        ReportClientError(e);
        return false;
    }
}

void ClientExporter::Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) {
    journal_ = context.journal;
    // The exporter runs alone, and nothing leaves ExportSection: the failures recorded meanwhile
    // are its own.
    const uint64_t failedBefore = journal_->Total(ObjectAction::Failed);
    ExportSection(std::move(writer), context);
    failed_ = journal_->Total(ObjectAction::Failed) - failedBefore;
}

void ClientExporter::ExportSection(std::shared_ptr<ISaxWriter> writer,
                                   const MigrationContext& context) {
    if (!CheckExportContext(context)) {
        PrintMessage(
            L"Input export context is invalid. Client data export impossible. See logs for "
            L"details.");
        return;
    }
    const StorageSession& storage = context.storage;
    KvBase::GetTrace().Trace(
        KvBase::TraceInfo, L"%s(LDS: %ls, AD: %ls, OMS: %ls)++", "ClientExporter::Export",
        (storage.isLds ? HostOf(storage.ldsGcSession) : std::wstring(L"none")).c_str(),
        HostOf(storage.adSession).c_str(), context.serverSid.c_str());
    if (storage.isLds) {
        const LdapHelper::server_cfg gc = storage.ldsGcSession->server();
        PrintParts({L"Client objects export started for LDS server: ", gc.host, L":",
                    std::to_wstring(gc.port)});
    } else {
        PrintParts({L"Client objects export started for AD server: ", HostOf(storage.adSession)});
    }
    SetLdsStorageMode(storage.isLds);
    try {
        writer_ = std::move(writer);
        session_.Initialize(storage.isLds ? storage.ldsGcSession : storage.adSession,
                            context.serverSid, storage.isLds);
        PrintParts({L"Searching client objects in: ", session_.BaseDn()});
        for (const wchar_t* container : {L"Globals", L"Users", L"Elids"}) {
            ExportNode(container);
        }
        PrintMessage(L"Client objects export finished.");
        KvBase::GetTrace().Trace(KvBase::TraceInfo, "%s()--", "ClientExporter::Export");
    } catch (const KvBase::CKvError& e) {
        PrintParts({L"Client objects export finished with error: ", e.Description()});
        RecordPartFailure(*journal_, L"Client", e);
        ReportClientError(e);
    }
}

void ClientExporter::ExportNode(const std::wstring& name) {
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"%s(%ls)++", "ClientExporter::ExportNode",
                             name.c_str());
    try {
        writer_->StartNode(name, L"");
        if (std::shared_ptr<INodeExporter> exporter = CreateNodeExporter(name)) {
            exporter->Export();
        }
        writer_->EndNode();
        KvBase::GetTrace().Trace(KvBase::TraceInfo, "%s()--", "ClientExporter::ExportNode");
    } catch (const KvBase::CKvError& e) {
        PrintParts({L"Client node ", name, L" export finished with error: ", e.Description()});
        RecordPartFailure(*journal_, name, e);
        ReportClientError(e);
    }
}

std::wstring ClientExporter::MissingContent() const {
    if (failed_ == 0) {
        return {};
    }
    return L"The Client section lacks " + std::to_wstring(failed_) +
           L" object(s) or part(s) that could not be read or written.";
}

std::shared_ptr<INodeExporter> ClientExporter::CreateNodeExporter(const std::wstring& name) {
    if (name == L"Globals") {
        return MakeNodeExporter<CGlobalNodeExporter>(session_, *writer_, *journal_);
    }
    if (name == L"Users") {
        return MakeNodeExporter<CUsersNodeExporter>(session_, *writer_, *journal_);
    }
    if (name == L"Elids") {
        return MakeNodeExporter<CElidsNodeExporter>(session_, *writer_, *journal_);
    }
    KvBase::GetTrace().Trace(KvBase::TraceError, L"%s(%ls) node exporter not defined!",
                             "ClientExporter::CreateNodeExporter", name.c_str());
    return nullptr;
}

}  // namespace KvMigration
