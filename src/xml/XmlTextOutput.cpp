#include "xml/XmlTextOutput.h"

#include "platform/CodePage.h"
#include "xml/XmlPushParser.h"

#include <libxml/xmlIO.h>
#include <libxml/xmlwriter.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

namespace KvMigration {
namespace {

constexpr uint32_t GenericFailure = 0x80004005;

const xmlChar* ToXml(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

}  // namespace

struct XmlTextOutput::State {
    xmlTextWriterPtr writer = nullptr;
    xmlBufferPtr memory = nullptr;
    size_t declarationBytes = 0;  // memory mode: the declaration that TakeText leaves out
    int fd = -1;
    int writeError = 0;  // errno of the first failed write or close

    ~State() {
        if (writer != nullptr) {
            xmlFreeTextWriter(writer);
        }
        if (memory != nullptr) {
            xmlBufferFree(memory);
        }
        if (fd >= 0) {
            close(fd);
        }
    }

    static int Write(void* context, const char* buffer, int length) {
        State& state = *static_cast<State*>(context);
        int done = 0;
        while (done < length) {
            ssize_t put = write(state.fd, buffer + done, static_cast<size_t>(length - done));
            if (put < 0) {
                if (errno == EINTR) {
                    continue;
                }
                state.writeError = errno;
                return -1;
            }
            done += static_cast<int>(put);
        }
        return length;
    }

    static int Close(void* context) {
        State& state = *static_cast<State*>(context);
        int fd = state.fd;
        state.fd = -1;
        if (fd >= 0 && close(fd) != 0 && state.writeError == 0) {
            state.writeError = errno;
            return -1;
        }
        return 0;
    }

    bool Check(int result) const { return writer != nullptr && result >= 0; }
};

XmlTextOutput::XmlTextOutput() : state_(std::make_unique<State>()) {}

XmlTextOutput::~XmlTextOutput() = default;

std::unique_ptr<XmlTextOutput> XmlTextOutput::ToFile(const std::wstring& fileName,
                                                     uint32_t& errorCode) {
    QuietXmlEngine();
    std::unique_ptr<XmlTextOutput> output(new XmlTextOutput());
    State& state = *output->state_;
    std::string name = Platform::WideToUtf8(fileName);
    // Never through a symbolic link at the name (the export folder may be shared), and never
    // into a FIFO, which would block the run; a file or a device such as /dev/null.
    state.fd =
        open(name.c_str(),
             O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
    if (state.fd < 0) {
        errorCode = FileErrorCode(errno);
        return nullptr;
    }
    struct stat info {};
    if (fstat(state.fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode))) {
        close(state.fd);
        state.fd = -1;
        errorCode = FileErrorCode(EACCES);
        return nullptr;
    }
    fcntl(state.fd, F_SETFL, fcntl(state.fd, F_GETFL) & ~O_NONBLOCK);
    xmlOutputBufferPtr buffer =
        xmlOutputBufferCreateIO(State::Write, State::Close, &state, nullptr);
    if (buffer == nullptr) {
        throw std::bad_alloc();
    }
    state.writer = xmlNewTextWriter(buffer);  // owns the buffer from here on
    if (state.writer == nullptr) {
        xmlOutputBufferClose(buffer);
        throw std::bad_alloc();
    }
    xmlTextWriterSetIndent(state.writer, 1);
    xmlTextWriterSetIndentString(state.writer, reinterpret_cast<const xmlChar*>("  "));
    return output;
}

std::unique_ptr<XmlTextOutput> XmlTextOutput::ToMemory() {
    QuietXmlEngine();
    std::unique_ptr<XmlTextOutput> output(new XmlTextOutput());
    State& state = *output->state_;
    state.memory = xmlBufferCreate();
    if (state.memory == nullptr) {
        throw std::bad_alloc();
    }
    // Growing by doubling keeps long documents linear; the default grows by exact sizes.
    xmlBufferSetAllocationScheme(state.memory, XML_BUFFER_ALLOC_DOUBLEIT);
    state.writer = xmlNewTextWriterMemory(state.memory, 0);
    if (state.writer == nullptr) {
        throw std::bad_alloc();
    }
    // Without a declared encoding libxml2 writes every non-ASCII character of an attribute as a
    // character reference. The document is started as UTF-8 so that characters stay literal, and
    // the declaration that this writes is left out of the text.
    if (xmlTextWriterStartDocument(state.writer, nullptr, "UTF-8", nullptr) < 0 ||
        xmlTextWriterFlush(state.writer) < 0) {
        throw std::bad_alloc();
    }
    state.declarationBytes = static_cast<size_t>(xmlBufferLength(state.memory));
    xmlTextWriterSetIndent(state.writer, 1);
    xmlTextWriterSetIndentString(state.writer, reinterpret_cast<const xmlChar*>("  "));
    return output;
}

bool XmlTextOutput::StartDocument() {
    return state_->Check(xmlTextWriterStartDocument(state_->writer, "1.0", "UTF-8", nullptr));
}

bool XmlTextOutput::StartElement(const std::wstring& name) {
    std::string utf8 = Platform::WideToUtf8(name);
    return state_->Check(xmlTextWriterStartElement(state_->writer, ToXml(utf8)));
}

bool XmlTextOutput::Attribute(const std::wstring& name, const std::wstring& value) {
    std::string utf8Name = Platform::WideToUtf8(name);
    std::string utf8Value = Platform::WideToUtf8(value);
    return state_->Check(
        xmlTextWriterWriteAttribute(state_->writer, ToXml(utf8Name), ToXml(utf8Value)));
}

bool XmlTextOutput::Text(const std::wstring& value) {
    std::string utf8 = Platform::WideToUtf8(value);
    return state_->Check(xmlTextWriterWriteString(state_->writer, ToXml(utf8)));
}

bool XmlTextOutput::EndElement() {
    return state_->Check(xmlTextWriterEndElement(state_->writer));
}

bool XmlTextOutput::EndDocument() {
    State& state = *state_;
    if (state.writer == nullptr) {
        return false;
    }
    if (state.memory != nullptr) {
        return xmlTextWriterFlush(state.writer) >= 0;
    }
    bool ended = xmlTextWriterEndDocument(state.writer) >= 0;
    // Freeing the writer flushes and closes the file; a failure there is a failure to write.
    xmlFreeTextWriter(state.writer);
    state.writer = nullptr;
    return ended && state.writeError == 0;
}

std::string XmlTextOutput::TakeText() {
    State& state = *state_;
    if (state.memory == nullptr) {
        return std::string();
    }
    size_t length = static_cast<size_t>(xmlBufferLength(state.memory));
    size_t skip = std::min(state.declarationBytes, length);
    std::string text(reinterpret_cast<const char*>(xmlBufferContent(state.memory)) + skip,
                     length - skip);
    xmlBufferEmpty(state.memory);
    state.declarationBytes = 0;
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

uint32_t XmlTextOutput::ErrorCode() const {
    return state_->writeError != 0 ? FileErrorCode(state_->writeError) : GenericFailure;
}

}  // namespace KvMigration
