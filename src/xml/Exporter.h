#pragma once

#include <memory>
#include <string>

#include "helper/MigrationContext.h"

namespace KvMigration {

// The writing side every exporter and transformer sees.
class ISaxWriter {
public:
    // Opens an element with an optional text; the start tag stays pending for WriteAttribute.
    virtual void StartNode(const std::wstring& name, const std::wstring& value) = 0;
    // Adds an attribute to the element just opened; raises code 21 when none is pending.
    virtual void WriteAttribute(const std::wstring& name, const std::wstring& value) = 0;
    // Closes the innermost element and returns its name; empty when nothing was open.
    virtual std::wstring EndNode() = 0;
    virtual ~ISaxWriter() = default;
};

// Writes one section of the migration file when its element opens.
class IExporter {
public:
    virtual void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) = 0;
    // After Export: what the section lacks because the exporter could not read it, as sentences
    // for the administrator; empty when the section is complete. An exporter that goes on after
    // such a failure says so here, so that the run does not end as a success.
    virtual std::wstring MissingContent() const { return {}; }
    virtual ~IExporter() = default;
};

}  // namespace KvMigration
