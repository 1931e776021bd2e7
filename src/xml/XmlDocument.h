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
    // The text content of the element and everything inside it.
    const std::wstring& Text() const { return text_; }

private:
    friend class XmlDocument;
    std::wstring name_;
    std::vector<std::pair<std::wstring, std::wstring>> attributes_;
    std::vector<XmlElement> children_;
    std::wstring text_;
};

// A small XML file read whole into memory (the product's installation model files), for the few
// callers that walk a document rather than stream it. Network access, DTD loading and entity
// substitution are off.
class XmlDocument {
public:
    // Raises the failure to read the file (its error code) or to parse it ("The file \"%ls\" is
    // damaged at line %d: %ls.") with `function`.
    static XmlDocument Load(const std::wstring& fileName, const wchar_t* function);

    const XmlElement& Root() const { return root_; }

private:
    XmlElement root_;
};

}  // namespace KvMigration
