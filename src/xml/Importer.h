#pragma once

#include <functional>
#include <string>

#include "helper/MigrationContext.h"

namespace KvMigration {

// Receives the events of one section of an XML document (see SaxReader).
class IImporter {
public:
    // How to ask the reader for the line of the document it is at, so that a message can name
    // it; given once, before any other call.
    virtual void SetLineSource(std::function<int()> /*line*/) {}
    // The section element starts.
    virtual void BeginImport(const MigrationContext& context, const Attributes& attributes) = 0;
    // An element inside the section starts.
    virtual void StartNode(const std::wstring& name, const Attributes& attributes) = 0;
    // The text after an element's last child, once, at the element's end; never whitespace only.
    virtual void Value(const std::wstring& text) = 0;
    // An element inside the section, or the section element itself, ends.
    virtual void EndNode(const std::wstring& name) = 0;
    // After the section element's EndNode.
    virtual void EndImport() = 0;
    // After the document: what of the section was left out of the import although the file
    // holds it, as sentences for the administrator; empty when nothing was. An importer that goes
    // on after leaving something out says so here, so that the run does not end as a success.
    virtual std::wstring MissingContent() const { return {}; }
    virtual ~IImporter() = default;
};

}  // namespace KvMigration
