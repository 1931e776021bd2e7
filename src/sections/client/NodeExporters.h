#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "client/ClientSession.h"
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

class CNodeExporter : public INodeExporter {
public:
    CNodeExporter(const CLdapSession& session, ISaxWriter& writer);
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
    void ExportObject(const LdapHelper::object& object);
    virtual const char* TypeName() const = 0;

    const CLdapSession* session_;
    ISaxWriter* writer_;
    uint64_t exported_ = 0;
};

class CGlobalNodeExporter : public CNodeExporter {
public:
    using CNodeExporter::CNodeExporter;
    void Export() override;

protected:
    const char* TypeName() const override { return "class CGlobalNodeExporter"; }
};

class CUsersNodeExporter : public CNodeExporter {
public:
    using CNodeExporter::CNodeExporter;
    void Export() override;

protected:
    const char* TypeName() const override { return "class CUsersNodeExporter"; }
};

class CElidsNodeExporter : public CNodeExporter {
public:
    using CNodeExporter::CNodeExporter;
    void Export() override;

protected:
    const char* TypeName() const override { return "class CElidsNodeExporter"; }
};

// A node exporter handed out as a shared pointer whose deleter is Release().
template <class Exporter>
std::shared_ptr<INodeExporter> MakeNodeExporter(const CLdapSession& session, ISaxWriter& writer) {
    return std::shared_ptr<INodeExporter>(new Exporter(session, writer),
                                          [](INodeExporter* exporter) { exporter->Release(); });
}

}  // namespace KvMigration
