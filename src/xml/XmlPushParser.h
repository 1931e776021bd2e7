#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "helper/MigrationContext.h"
#include "xml/XmlLimits.h"

namespace KvMigration {

// What the parser delivers, in document order. Names are local names; attribute values are
// decoded. Text arrives in UTF-8 chunks as the parser finds them.
class IXmlEventSink {
public:
    virtual void StartElement(const std::wstring& localName, const Attributes& attributes) = 0;
    virtual void Characters(std::string_view utf8) = 0;
    virtual void EndElement(const std::wstring& localName) = 0;

protected:
    ~IXmlEventSink() = default;
};

// What kind of damage stopped a document, in the terms of the person who has to mend it.
enum class XmlDamage {
    Malformed,  // the text is not well-formed XML where the line says, or passes a limit
    Empty,      // nothing but blanks (and a byte-order mark): no document at all
    CutOff,     // well-formed as far as it goes, but it ends before its root element is closed
};

// Where and why a document stopped being well-formed.
struct XmlParseError {
    int line = 0;
    std::wstring message;  // the parser's own words
    XmlDamage damage = XmlDamage::Malformed;
};

// The XML parser, streaming: a file is read and parsed in chunks, so memory grows with the
// largest piece of markup or value, never with the document. Network access, DTD loading and
// entity substitution are off, and a document type declaration stops the parse as an error before
// anything in it takes effect. A document beyond the limits stops the parse as an error where the
// limit is passed: neither the element nor the piece of text that passes it is delivered.
class XmlPushParser {
public:
    // Opens the file without parsing anything; raises the failure with `function`.
    static std::unique_ptr<XmlPushParser> OpenFile(const std::wstring& fileName,
                                                   const wchar_t* function,
                                                   const XmlLimits& limits = XmlLimits{});
    // A document held as UTF-8 text; its encoding declaration is not consulted.
    static std::unique_ptr<XmlPushParser> FromText(std::string utf8,
                                                   const XmlLimits& limits = XmlLimits{});

    ~XmlPushParser();
    XmlPushParser(const XmlPushParser&) = delete;
    XmlPushParser& operator=(const XmlPushParser&) = delete;

    // Parses everything not parsed yet, delivering the events to the sink. Returns the first
    // well-formedness error, or nothing when the document was read to its end. An exception
    // thrown by the sink stops the parse and is rethrown here. Raises with `function` when the
    // file cannot be read.
    std::optional<XmlParseError> Run(IXmlEventSink& sink, const wchar_t* function);
    // The 1-based line the parser is at (during an event: the line of that event); 0 before the
    // parse has begun.
    int CurrentLine() const;

    struct State;

private:
    XmlPushParser();
    std::unique_ptr<State> state_;
};

// Keeps the XML engine from printing its own error lines; the program reports failures itself.
void QuietXmlEngine();

// The program's error code for an errno value of a failed file operation.
uint32_t FileErrorCode(int error);

}  // namespace KvMigration
