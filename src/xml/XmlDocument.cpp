#include "xml/XmlDocument.h"

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "xml/XmlPushParser.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <fcntl.h>
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
    int fd = open(Platform::WideToUtf8(fileName).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        KV_RAISE_ERROR_CODE(function, FileErrorCode(errno));
    }
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

}  // namespace

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
            xmlChar* content = xmlNodeGetContent(node);
            element.text_ = FromXml(content);
            xmlFree(content);
            for (xmlNode* child = node->children; child != nullptr; child = child->next) {
                if (child->type == XML_ELEMENT_NODE) {
                    element.children_.emplace_back();
                    Copy(child, element.children_.back());
                }
            }
        }
    };
    XmlDocument result;
    Copier::Copy(root, result.root_);
    return result;
}

}  // namespace KvMigration
