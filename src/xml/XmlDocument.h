#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace KvMigration {

// An element of an XmlDocument; valid while its document lives.
class XmlElement {
public:
    const std::wstring& Name() const { return name_; }
    // The element children, in document order (text, comments and the like are left out).
    const std::vector<XmlElement>& Children() const { return children_; }
    std::optional<std::wstring> Attribute(const std::wstring& name) const;
    // The text content of the element and everything inside it, in document order. Built on
    // each call, so that a document costs memory in proportion to its size however deeply it
    // nests.
    std::wstring Text() const;

private:
    friend class XmlDocument;
    void AppendText(std::wstring& out) const;

    std::wstring name_;
    std::vector<std::pair<std::wstring, std::wstring>> attributes_;
    std::vector<XmlElement> children_;
    // The element's own text runs, each with the number of children that precede it.
    std::vector<std::pair<size_t, std::wstring>> texts_;
};

// A small XML file read whole into memory (the product's installation model files), for the few
// callers that walk a document rather than stream it. Network access, DTD loading and entity
// substitution are off; a document type declaration counts as damage, as in the SAX reader, so
// that no entity it defines is ever expanded. Files over XmlMaxDocumentBytes are refused before
// they are read, which bounds the reading's memory and time.
class XmlDocument {
public:
    static constexpr size_t XmlMaxDocumentBytes = 64 * 1024 * 1024;

    // Raises the failure to read the file (its error code), a file over the bound, or a failure
    // to parse it ("The file \"%ls\" is damaged at line %d: %ls.") with `function`.
    static XmlDocument Load(const std::wstring& fileName, const wchar_t* function);

    const XmlElement& Root() const { return root_; }

private:
    XmlElement root_;
};

}  // namespace KvMigration
