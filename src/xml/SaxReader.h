#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "helper/MigrationContext.h"
#include "xml/Importer.h"
#include "xml/XmlPushParser.h"

namespace KvMigration {

// An XML document given as text rather than as a file (settings kept in directory attributes).
// The text is parsed as Unicode whatever encoding its declaration names.
struct XmlSource {
    std::wstring text;
};

// How a reading ended.
enum class ReadOutcome {
    NotRead,   // Resume has not run yet
    Complete,  // the document was read to its end
    Damaged,   // the document is not well-formed; reading stopped at DamageLine()
};

// Reads one XML document in a single pass and hands the events of every registered section (an
// element named by its path from the root, "Korvant/Config/Common") to the importer registered
// for it. Construction opens the document and delivers nothing; importers are registered next;
// Resume then reads the whole document.
//
// Failures thrown by an importer's StartNode, Value or EndNode are dropped and reading goes on.
// Any other failure inside an event (BeginImport, EndImport, the reader's own bookkeeping) is
// reported through the fatal output and ends the process when reading a file; an in-memory
// document (XmlSource) lets it leave Resume instead, so that its caller can name the object the
// document belongs to.
//
// A document that is not well-formed is read up to the error: the events before it are
// delivered, an importer whose section is open at that point gets no further call, the error is
// traced at level 4 and Outcome() says Damaged. Callers that must not treat such a document as
// read decide what to do (the import pass raises DamagedDocumentError()). A document type
// declaration (DOCTYPE) counts as such an error: no entity it defines is ever expanded and nothing
// it names is ever loaded. So does passing a limit of XmlLimits.h (an attribute value or a text
// longer than 64 MiB, elements nested deeper than 256 levels, a name longer than 50000 bytes, a
// start tag longer than 256 MiB); the element or text that passes it is not delivered. Within the
// limits, reading needs memory in proportion to the largest value, never to the document.
class SaxReader : private IXmlEventSink {
public:
    // Raises the failure to open the file with the function name "SaxReader::SaxReader".
    SaxReader(const std::wstring& fileName, const MigrationContext& context);
    SaxReader(XmlSource source, const MigrationContext& context);
    ~SaxReader();
    SaxReader(const SaxReader&) = delete;
    SaxReader& operator=(const SaxReader&) = delete;

    // Replaces an importer registered earlier for the same path. A null importer is ignored: the
    // path keeps the importer it had, or stays unregistered.
    void RegisterImporter(const std::wstring& path, std::shared_ptr<IImporter> importer);

    // Reads the document to its end or to its first error. A second call does nothing.
    void Resume();
    // Whether the document held the element of the path registered for it (its importer began).
    bool Began(const std::wstring& path) const { return begun_.count(path) != 0; }

    ReadOutcome Outcome() const { return outcome_; }
    // The registered path whose element was open when the reading stopped at damage; empty when
    // the damage lies outside every registered section.
    const std::wstring& OpenSection() const { return activePath_; }
    // 1-based line of the error of a damaged document; 0 otherwise.
    int DamageLine() const { return damageLine_; }
    // The parser's description of the error of a damaged document; empty otherwise.
    const std::wstring& DamageText() const { return damageText_; }
    // What kind of damage it is (meaningful when Outcome() says Damaged).
    XmlDamage Damage() const { return damage_; }
    // "The file \"<name>\" is damaged at line <N>: <parser message>." ("The XML document is ..."
    // for an in-memory source): the parser's own account, which the trace keeps.
    std::wstring ParserDamageText() const;
    // The same in the terms of the administrator who has to mend a file: "The file \"<name>\" is
    // empty.", "The file \"<name>\" ends at line <N> before the document is complete.", or the
    // parser's account for any other damage. An in-memory source always has the parser's account.
    std::wstring DamagedDocumentError() const;

private:
    void StartElement(const std::wstring& name, const Attributes& attributes) override;
    void Characters(std::string_view utf8) override;
    void EndElement(const std::wstring& name) override;
    void FlushTextRun();
    // The fatal output of the failure being handled; never returns.
    [[noreturn]] void ReportFatal();

    std::shared_ptr<IImporter> activeImporter_;
    std::map<std::wstring, std::shared_ptr<IImporter>> importers_;
    MigrationContext context_;
    std::wstring currentPath_;
    std::wstring activePath_;       // the path of the element that made the active importer active
    std::set<std::wstring> begun_;  // registered paths whose element came, at most one each
    std::wstring text_;
    std::string textRun_;      // UTF-8 chunks of the text between two tags, not yet judged
    std::wstring sourceName_;  // file name; empty for an in-memory source
    std::unique_ptr<XmlPushParser> parser_;
    ReadOutcome outcome_ = ReadOutcome::NotRead;
    int damageLine_ = 0;
    std::wstring damageText_;
    XmlDamage damage_ = XmlDamage::Malformed;
};

}  // namespace KvMigration
