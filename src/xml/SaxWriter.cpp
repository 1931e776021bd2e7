#include "xml/SaxWriter.h"

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "xml/XmlLimits.h"
#include "xml/XmlTextOutput.h"

#include <algorithm>
#include <cstdio>
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

void CheckName(const wchar_t* function, const std::wstring& name) {
    bool valid = !name.empty() && name.find_first_of(L" \t\r\n<>&\"'/=") == std::wstring::npos;
    for (wchar_t c : name) {
        valid = valid && IsXmlChar(c);
    }
    if (!valid) {
        KV_RAISE_ERROR(function, L"\"" + name + L"\" is not a valid XML name.");
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
    : context_(context) {
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
    : target_(target), context_(context) {
    if (target == nullptr) {
        KV_RAISE_ERROR(L"SaxWriter::SaxWriter", L"pMemory is NULL");
    }
    output_ = XmlTextOutput::ToMemory();
}

SaxWriter::~SaxWriter() {
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
    CheckName(L"SaxWriter::StartNode", name);
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
    CheckName(L"SaxWriter::WriteAttribute", name);
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
