#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "client/ClientSession.h"
#include "helper/MigrationJournal.h"
#include "ldap/LdapHelper.h"
#include "xml/Exporter.h"

namespace KvMigration {

// The exporter of one container of the Client section.
class INodeExporter {
public:
    virtual void Export() = 0;
    // Ends the node exporter; the shared pointers CreateNodeExporter hands out call it.
    virtual void Release() = 0;

protected:
    ~INodeExporter() = default;
};

// Tells the journal of every object the query found: exported, skipped (no product data, or data
// the record cannot hold) or failed (written in part); and of a failed query as a failure of the
// container.
class CNodeExporter : public INodeExporter {
public:
    CNodeExporter(const CLdapSession& session, ISaxWriter& writer, MigrationJournal& journal);
    void Release() override;
    virtual ~CNodeExporter() = default;

    uint64_t Exported() const { return exported_; }

protected:
    // One query (every object of the kind, or those named `name`) and all its objects. A failed
    // search is reported and ends the container as far as it was written.
    template <class Query>
    void ExportT(const std::optional<std::wstring>& name);
    // One object: written when it carries product data; a failure is reported and the object is
    // left out, with nothing of it written.
    template <class Holder>
    void ExportObject(const LdapHelper::object& object, const std::wstring& kind);
    virtual const char* TypeName() const = 0;
    // The container element the node exporter fills.
    virtual const wchar_t* Container() const = 0;

    const CLdapSession* session_;
    ISaxWriter* writer_;
    MigrationJournal* journal_;
    uint64_t exported_ = 0;
};

class CGlobalNodeExporter : public CNodeExporter {
public:
    using CNodeExporter::CNodeExporter;
    void Export() override;

protected:
    const char* TypeName() const override { return "class CGlobalNodeExporter"; }
    const wchar_t* Container() const override { return L"Globals"; }
};

class CUsersNodeExporter : public CNodeExporter {
public:
    using CNodeExporter::CNodeExporter;
    void Export() override;

protected:
    const char* TypeName() const override { return "class CUsersNodeExporter"; }
    const wchar_t* Container() const override { return L"Users"; }
};

class CElidsNodeExporter : public CNodeExporter {
public:
    using CNodeExporter::CNodeExporter;
    void Export() override;

protected:
    const char* TypeName() const override { return "class CElidsNodeExporter"; }
    const wchar_t* Container() const override { return L"Elids"; }
};

// A node exporter handed out as a shared pointer whose deleter is Release().
template <class Exporter>
std::shared_ptr<INodeExporter> MakeNodeExporter(const CLdapSession& session, ISaxWriter& writer,
                                                MigrationJournal& journal) {
    return std::shared_ptr<INodeExporter>(new Exporter(session, writer, journal),
                                          [](INodeExporter* exporter) { exporter->Release(); });
}

}  // namespace KvMigration
