#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "helper/MigrationContext.h"
#include "xml/Exporter.h"

namespace KvMigration {

class XmlTextOutput;

// The start tag asked for but not yet written: attributes may still be added to it.
struct PostponedNode {
    std::wstring name;  // empty: no start tag pending
    std::wstring value;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;
    bool hasAttributes = false;
    size_t tagBytes = 0;  // of the start tag as the file will hold it

    void Reset();
};

// Streams XML either into a file (UTF-8, XML declaration, one level of indentation per depth) or
// into a caller's string (no declaration). Text and attribute values are escaped; names are
// written unchanged. A value holding a character XML cannot carry (control characters other than
// tab, line feed and carriage return) is refused with an error before anything is written, and so
// is a name the reader would not give back as written: one that is not an XML name, one with a
// namespace prefix (any ":"), one beginning with "xml" in any case. So is whatever the reader
// would refuse (XmlLimits.h): a value longer than 64 MiB, a name longer than 50000 bytes, nesting
// deeper than 256 levels, a start tag longer than 256 MiB.
//
// When an element whose path has a registered exporter is opened, the exporter is called at once
// with a SaxSectionWriter, while the element's start tag is still pending, so it can add
// attributes to the section element before writing children.
//
// Destruction closes every open element and ends the document. Not so when the writer is destroyed
// by a failure on its way out of a file export: the file then keeps what was written but stays
// without the end tags of its open elements, so that it can never pass for a complete export (an
// import names the line where it ends).
class SaxWriter : public ISaxWriter {
public:
    // File mode: creates or truncates the file and writes the XML declaration.
    SaxWriter(const std::wstring& fileName, const MigrationContext& context);
    // Memory mode: *target is replaced by the document's text when the outermost element closes,
    // and is left untouched before that. A null target raises "pMemory is NULL".
    SaxWriter(std::wstring* target, const MigrationContext& context);
    ~SaxWriter() override;
    SaxWriter(const SaxWriter&) = delete;
    SaxWriter& operator=(const SaxWriter&) = delete;

    // Replaces an exporter registered earlier for the same path. A null exporter is ignored: the
    // path keeps the exporter it had, or stays unregistered.
    void RegisterExporter(const std::wstring& path, std::shared_ptr<IExporter> exporter);

    void StartNode(const std::wstring& name, const std::wstring& value) override;
    void WriteAttribute(const std::wstring& name, const std::wstring& value) override;
    std::wstring EndNode() override;

private:
    void RealStartNode();
    void FinishDocument();

    std::wstring* target_ = nullptr;
    MigrationContext context_;
    std::vector<std::wstring> path_;  // names of the open elements, outermost first
    PostponedNode pending_;
    std::unique_ptr<XmlTextOutput> output_;
    std::map<std::wstring, std::shared_ptr<IExporter>> exporters_;
    int failuresAtStart_ = 0;  // failures already on their way when the writer was made
};

// The writer an exporter gets: it can close only the elements it opened itself, never its section
// element or anything outside it. The underlying writer outlives it.
class SaxSectionWriter : public ISaxWriter {
public:
    explicit SaxSectionWriter(ISaxWriter& writer);

    void StartNode(const std::wstring& name, const std::wstring& value) override;
    void WriteAttribute(const std::wstring& name, const std::wstring& value) override;
    // Returns the empty string, touching nothing, when this writer has nothing open.
    std::wstring EndNode() override;

private:
    ISaxWriter& writer_;
    std::vector<std::wstring> opened_;
};

}  // namespace KvMigration
