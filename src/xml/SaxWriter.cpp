#include "xml/SaxWriter.h"

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "xml/XmlLimits.h"
#include "xml/XmlTextOutput.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

namespace KvMigration {
namespace {

// Device not ready: an attribute without an element to carry it.
constexpr uint32_t NoPendingElement = 21;

bool IsXmlChar(wchar_t c) {
    auto code = static_cast<uint32_t>(c);
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// A character XML 1.0 cannot carry, even as a reference, would make the file unreadable; the
// value is refused before anything of it is written.
void CheckText(const wchar_t* function, const std::wstring& owner, const std::wstring& value) {
    for (wchar_t c : value) {
        if (!IsXmlChar(c)) {
            wchar_t code[16];
            std::swprintf(code, 16, L"U+%04X", static_cast<unsigned>(c));
            KV_RAISE_ERROR(function, L"The value of \"" + owner + L"\" contains the character " +
                                         code + L", which an XML file cannot hold.");
        }
    }
}

size_t Utf8Bytes(wchar_t c) {
    auto code = static_cast<uint32_t>(c);
    return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

size_t Utf8Length(const std::wstring& text) {
    size_t bytes = 0;
    for (wchar_t c : text) {
        bytes += Utf8Bytes(c);
    }
    return bytes;
}

// The reader takes no value longer than this, so the writer does not write one.
void CheckSize(const wchar_t* function, const std::wstring& owner, const std::wstring& value) {
    if (value.size() > XmlMaxValueBytes / 4 && Utf8Length(value) > XmlMaxValueBytes) {
        KV_RAISE_ERROR(function, L"The value of \"" + ShownName(owner) + L"\" is longer than " +
                                     LimitText(XmlMaxValueBytes) +
                                     L", the most a value may take in an XML file.");
    }
}

// The bytes an attribute adds to its start tag in the file: the text writer escapes the
// characters that would end the value and those a reader would turn into blanks.
size_t WrittenAttributeBytes(const std::wstring& name, const std::wstring& value) {
    size_t bytes = Utf8Length(name) + 4;  // the blank before, =" and the closing quote
    for (wchar_t c : value) {
        switch (c) {
            case L'"':
                bytes += 6;  // &quot;
                break;
            case L'&':
            case L'\n':
            case L'\r':
                bytes += 5;  // &amp; &#10; &#13;
                break;
            case L'<':
            case L'>':
            case L'\t':
                bytes += 4;  // &lt; &gt; &#9;
                break;
            default:
                bytes += Utf8Bytes(c);
        }
    }
    return bytes;
}

// NameStartChar of XML 1.0, fifth edition.
bool IsNameStartChar(wchar_t c) {
    auto code = static_cast<uint32_t>(c);
    return code == ':' || (code >= 'A' && code <= 'Z') || code == '_' ||
           (code >= 'a' && code <= 'z') || (code >= 0xC0 && code <= 0xD6) ||
           (code >= 0xD8 && code <= 0xF6) || (code >= 0xF8 && code <= 0x2FF) ||
           (code >= 0x370 && code <= 0x37D) || (code >= 0x37F && code <= 0x1FFF) ||
           (code >= 0x200C && code <= 0x200D) || (code >= 0x2070 && code <= 0x218F) ||
           (code >= 0x2C00 && code <= 0x2FEF) || (code >= 0x3001 && code <= 0xD7FF) ||
           (code >= 0xF900 && code <= 0xFDCF) || (code >= 0xFDF0 && code <= 0xFFFD) ||
           (code >= 0x10000 && code <= 0xEFFFF);
}

// NameChar of XML 1.0, fifth edition.
bool IsNameChar(wchar_t c) {
    auto code = static_cast<uint32_t>(c);
    return IsNameStartChar(c) || code == '-' || code == '.' || (code >= '0' && code <= '9') ||
           code == 0xB7 || (code >= 0x300 && code <= 0x36F) || (code >= 0x203F && code <= 0x2040);
}

bool IsXmlName(const std::wstring& name) {
    return !name.empty() && IsNameStartChar(name.front()) &&
           std::all_of(name.begin() + 1, name.end(), IsNameChar);
}

// Names are refused unless the reader gives them back exactly as written. The reader knows no
// namespaces beyond dropping their declarations and prefixes, so a name with ":" would come back
// cut or not at all; names beginning with "xml" in any case are reserved for XML itself, and an
// attribute "xmlns" is a namespace declaration.
void CheckName(const wchar_t* function, const wchar_t* kind, const std::wstring& name) {
    std::wstring named = std::wstring(L"The ") + kind + L" name \"" + ShownName(name) + L"\"";
    if (name.size() > XmlMaxNameBytes / 4 && Utf8Length(name) > XmlMaxNameBytes) {
        KV_RAISE_ERROR(function, named + L" is longer than " + LimitText(XmlMaxNameBytes) + L".");
    }
    if (!IsXmlName(name)) {
        KV_RAISE_ERROR(function, named + L" is not an XML name.");
    }
    if (name.find(L':') != std::wstring::npos) {
        KV_RAISE_ERROR(function,
                       named + L" contains \":\", which a reader takes for a namespace prefix.");
    }
    auto is = [&](size_t at, wchar_t lower) {
        return name[at] == lower || name[at] == lower - (L'a' - L'A');
    };
    if (name.size() >= 3 && is(0, L'x') && is(1, L'm') && is(2, L'l')) {
        KV_RAISE_ERROR(function, named + L" begins with \"xml\", which XML reserves.");
    }
}

}  // namespace

void PostponedNode::Reset() {
    name.clear();
    value.clear();
    attributes.clear();
    hasAttributes = false;
    tagBytes = 0;
}

SaxWriter::SaxWriter(const std::wstring& fileName, const MigrationContext& context)
    : context_(context), failuresAtStart_(std::uncaught_exceptions()) {
    uint32_t code = 0;
    output_ = XmlTextOutput::ToFile(fileName, code);
    if (!output_) {
        KV_RAISE_ERROR_CODE(L"SaxWriter::SaxWriter", code);
    }
    if (!output_->StartDocument()) {
        KV_RAISE_ERROR_CODE(L"SaxWriter::SaxWriter", output_->ErrorCode());
    }
}

SaxWriter::SaxWriter(std::wstring* target, const MigrationContext& context)
    : target_(target), context_(context), failuresAtStart_(std::uncaught_exceptions()) {
    if (target == nullptr) {
        KV_RAISE_ERROR(L"SaxWriter::SaxWriter", L"pMemory is NULL");
    }
    output_ = XmlTextOutput::ToMemory();
}

SaxWriter::~SaxWriter() {
    // Closing the elements of an export that failed half-way would make the file look complete,
    // and an import would then take the missing part for absent data. The text written so far
    // still reaches the file when the output is released.
    if (target_ == nullptr && std::uncaught_exceptions() > failuresAtStart_) {
        return;
    }
    // EndNode always removes one open element before anything can fail, so this ends.
    while (!path_.empty() || !pending_.name.empty()) {
        try {
            EndNode();
        } catch (...) {  // The file is closed as far as it can be; the failure that interrupted
                         // the export is already on its way to the caller.
        }
    }
}

void SaxWriter::RegisterExporter(const std::wstring& path, std::shared_ptr<IExporter> exporter) {
    if (!exporter) {
        return;
    }
    exporters_[path] = std::move(exporter);
}

void SaxWriter::StartNode(const std::wstring& name, const std::wstring& value) {
    CheckName(L"SaxWriter::StartNode", L"element", name);
    CheckText(L"SaxWriter::StartNode", name, value);
    CheckSize(L"SaxWriter::StartNode", name, value);
    if (path_.size() >= static_cast<size_t>(XmlMaxDepth)) {
        KV_RAISE_ERROR(L"SaxWriter::StartNode", L"The element \"" + ShownName(name) +
                                                    L"\" would be nested deeper than " +
                                                    std::to_wstring(XmlMaxDepth) +
                                                    L" levels, the most an XML file may hold.");
    }
    if (!pending_.name.empty()) {
        RealStartNode();
    }
    path_.push_back(name);
    pending_.name = name;
    pending_.value = value;
    pending_.tagBytes = Utf8Length(name) + 3;  // <, and /> for an empty element
    if (exporters_.empty()) {
        return;
    }
    std::wstring path;
    for (const std::wstring& part : path_) {
        if (!path.empty()) {
            path += L'/';
        }
        path += part;
    }
    auto found = exporters_.find(path);
    if (found != exporters_.end()) {
        found->second->Export(std::make_shared<SaxSectionWriter>(*this), context_);
    }
}

void SaxWriter::WriteAttribute(const std::wstring& name, const std::wstring& value) {
    if (pending_.name.empty()) {
        KV_RAISE_ERROR_CODE(L"SaxWriter::WriteAttribute", NoPendingElement);
    }
    CheckName(L"SaxWriter::WriteAttribute", L"attribute", name);
    CheckText(L"SaxWriter::WriteAttribute", name, value);
    CheckSize(L"SaxWriter::WriteAttribute", name, value);
    // A repeated name replaces the earlier value: a tag with the attribute twice is not XML.
    auto repeated = std::find_if(pending_.attributes.begin(), pending_.attributes.end(),
                                 [&](const auto& attribute) { return attribute.first == name; });
    size_t tagBytes = pending_.tagBytes + WrittenAttributeBytes(name, value);
    if (repeated != pending_.attributes.end()) {
        tagBytes -= WrittenAttributeBytes(name, repeated->second);
    }
    // The reader must hold a start tag whole, and takes none longer than this.
    if (tagBytes > XmlMaxMarkupBytes) {
        KV_RAISE_ERROR(L"SaxWriter::WriteAttribute",
                       L"The start tag of \"" + ShownName(pending_.name) +
                           L"\" would be longer than " + LimitText(XmlMaxMarkupBytes) +
                           L" with the attribute \"" + ShownName(name) +
                           L"\", the most an XML file may hold in one tag.");
    }
    pending_.tagBytes = tagBytes;
    if (repeated != pending_.attributes.end()) {
        repeated->second = value;
        return;
    }
    pending_.attributes.emplace_back(name, value);
    pending_.hasAttributes = true;
}

std::wstring SaxWriter::EndNode() {
    if (!pending_.name.empty()) {
        RealStartNode();
    }
    if (path_.empty()) {
        return std::wstring();
    }
    std::wstring name = std::move(path_.back());
    path_.pop_back();
    if (!output_->EndElement()) {
        KV_RAISE_ERROR_CODE(L"SaxWriter::EndNode", output_->ErrorCode());
    }
    if (path_.empty()) {
        FinishDocument();
    }
    return name;
}

void SaxWriter::RealStartNode() {
    // Taken out first so that a failure below cannot leave the same tag pending again.
    PostponedNode node = std::move(pending_);
    pending_.Reset();
    if (!output_->StartElement(node.name)) {
        KV_RAISE_ERROR_CODE(L"SaxWriter::RealStartNode", output_->ErrorCode());
    }
    if (node.hasAttributes) {
        for (const auto& [name, value] : node.attributes) {
            if (!output_->Attribute(name, value)) {
                KV_RAISE_ERROR_CODE(L"SaxWriter::RealStartNode", output_->ErrorCode());
            }
        }
    }
    if (!node.value.empty() && !output_->Text(node.value)) {
        KV_RAISE_ERROR_CODE(L"SaxWriter::RealStartNode", output_->ErrorCode());
    }
}

void SaxWriter::FinishDocument() {
    if (!output_->EndDocument()) {
        KV_RAISE_ERROR_CODE(L"SaxWriter::EndNode", output_->ErrorCode());
    }
    if (target_ != nullptr) {
        *target_ = Platform::Utf8ToWide(output_->TakeText());
    }
}

SaxSectionWriter::SaxSectionWriter(ISaxWriter& writer) : writer_(writer) {}

void SaxSectionWriter::StartNode(const std::wstring& name, const std::wstring& value) {
    writer_.StartNode(name, value);
    opened_.push_back(name);
}

void SaxSectionWriter::WriteAttribute(const std::wstring& name, const std::wstring& value) {
    writer_.WriteAttribute(name, value);
}

std::wstring SaxSectionWriter::EndNode() {
    if (opened_.empty()) {
        return std::wstring();
    }
    opened_.pop_back();
    return writer_.EndNode();
}

}  // namespace KvMigration
