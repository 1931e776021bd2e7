#pragma once

#include <string>

#include "helper/MigrationContext.h"

namespace KvMigration {

// Receives the events of one section of an XML document (see SaxReader).
class IImporter {
public:
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
    virtual ~IImporter() = default;
};

}  // namespace KvMigration
