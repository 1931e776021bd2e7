#include "xml/XmlDocument.h"

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "xml/XmlLimits.h"
#include "xml/XmlPushParser.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <new>

namespace KvMigration {
namespace {

std::wstring FromXml(const xmlChar* text) {
    return text == nullptr ? std::wstring()
                           : Platform::Utf8ToWide(reinterpret_cast<const char*>(text));
}

std::string ReadWholeFile(const std::wstring& fileName, const wchar_t* function) {
    int fd = open(Platform::WideToUtf8(fileName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        KV_RAISE_ERROR_CODE(function, FileErrorCode(errno));
    }
    // Only a regular file: a FIFO or a device would block the run or never end.
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        KV_RAISE_ERROR_CODE(function, FileErrorCode(EACCES));
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t got = read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            int error = errno;
            close(fd);
            KV_RAISE_ERROR_CODE(function, FileErrorCode(error));
        }
        if (got == 0) {
            break;
        }
        if (bytes.size() + static_cast<size_t>(got) > XmlDocument::XmlMaxDocumentBytes) {
            close(fd);
            KV_RAISE_ERROR(function, L"The file \"" + fileName + L"\" is larger than " +
                                         LimitText(XmlDocument::XmlMaxDocumentBytes) + L".");
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return bytes;
}

struct DocumentFree {
    void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

struct ContextFree {
    void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};

struct FirstError {
    int line = 0;
    std::wstring message;
};

void KeepFirstError(void* user, xmlErrorPtr error) {
    auto* context = static_cast<xmlParserCtxt*>(user);
    auto* first = static_cast<FirstError*>(context->_private);
    if (error == nullptr || error->level != XML_ERR_FATAL || !first->message.empty()) {
        return;
    }
    first->line = error->line;
    first->message = FromXml(reinterpret_cast<const xmlChar*>(error->message));
    while (!first->message.empty() &&
           (first->message.back() == L'\n' || first->message.back() == L' ')) {
        first->message.pop_back();
    }
}

// A document type declaration can define entities whose expansion grows without bound; the
// parse stops at its start, before any declaration inside it is read.
void RefuseDocumentType(void* user, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* context = static_cast<xmlParserCtxt*>(user);
    auto* first = static_cast<FirstError*>(context->_private);
    if (first->message.empty()) {
        first->line = context->input != nullptr ? context->input->line : 0;
        first->message = L"Document type declarations (DOCTYPE) are not accepted";
    }
    context->wellFormed = 0;
    xmlStopParser(context);
}

}  // namespace

std::wstring XmlElement::Text() const {
    std::wstring out;
    AppendText(out);
    return out;
}

void XmlElement::AppendText(std::wstring& out) const {
    size_t child = 0;
    for (const auto& [before, text] : texts_) {
        for (; child < before; ++child) {
            children_[child].AppendText(out);
        }
        out += text;
    }
    for (; child < children_.size(); ++child) {
        children_[child].AppendText(out);
    }
}

std::optional<std::wstring> XmlElement::Attribute(const std::wstring& name) const {
    for (const auto& [key, value] : attributes_) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

XmlDocument XmlDocument::Load(const std::wstring& fileName, const wchar_t* function) {
    QuietXmlEngine();
    std::string bytes = ReadWholeFile(fileName, function);
    std::unique_ptr<xmlParserCtxt, ContextFree> context(xmlNewParserCtxt());
    if (!context) {
        throw std::bad_alloc();
    }
    FirstError firstError;
    context->_private = &firstError;
    context->sax->serror = KeepFirstError;
    context->sax->internalSubset = RefuseDocumentType;
    std::unique_ptr<xmlDoc, DocumentFree> document(
        xmlCtxtReadMemory(context.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr,
                          nullptr, XML_PARSE_NONET));
    xmlNode* root = document ? xmlDocGetRootElement(document.get()) : nullptr;
    if (root == nullptr || context->wellFormed == 0) {
        std::wstring text = L"The file \"" + fileName + L"\" is damaged at line " +
                            std::to_wstring(firstError.line);
        if (!firstError.message.empty()) {
            text += L": " + firstError.message;
        }
        KV_RAISE_ERROR(function, text + L".");
    }
    // Copied into plain values so that callers never see the engine's structures.
    struct Copier {
        static void Copy(xmlNode* node, XmlElement& element) {
            element.name_ = FromXml(node->name);
            for (xmlAttr* attribute = node->properties; attribute != nullptr;
                 attribute = attribute->next) {
                xmlChar* value = xmlNodeListGetString(node->doc, attribute->children, 1);
                element.attributes_.emplace_back(FromXml(attribute->name), FromXml(value));
                xmlFree(value);
            }
            for (xmlNode* child = node->children; child != nullptr; child = child->next) {
                if (child->type == XML_ELEMENT_NODE) {
                    element.children_.emplace_back();
                    Copy(child, element.children_.back());
                } else if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
                    element.texts_.emplace_back(element.children_.size(), FromXml(child->content));
                }
            }
        }
    };
    XmlDocument result;
    Copier::Copy(root, result.root_);
    return result;
}

}  // namespace KvMigration
