#include "xml/XmlPushParser.h"

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "platform/Process.h"

#include <libxml/SAX2.h>
#include <libxml/dict.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace KvMigration {
namespace {

// Small enough to keep the parser's memory flat, large enough to keep the system calls few.
constexpr size_t ChunkSize = 64 * 1024;

std::wstring FromXml(const xmlChar* text) {
    return text == nullptr ? std::wstring()
                           : Platform::Utf8ToWide(reinterpret_cast<const char*>(text));
}

// The attribute's name as the document writes it, prefix included.
std::wstring AttributeName(const xmlChar** attribute) {
    std::wstring name = FromXml(attribute[0]);
    if (attribute[1] != nullptr) {
        name = FromXml(attribute[1]) + L":" + name;
    }
    return name;
}

size_t Length(const xmlChar* text) {
    return text == nullptr ? 0 : std::strlen(reinterpret_cast<const char*>(text));
}

// Without entity substitution the parser hands an ampersand in an attribute value over as the
// character reference "&#38;"; every other reference is already resolved.
constexpr std::string_view ampersand = "&#38;";

std::string_view RawValue(const xmlChar* begin, const xmlChar* end) {
    return std::string_view(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin));
}

size_t DecodedLength(const xmlChar* begin, const xmlChar* end) {
    std::string_view raw = RawValue(begin, end);
    size_t length = raw.size();
    for (size_t at = raw.find(ampersand); at != std::string_view::npos;
         at = raw.find(ampersand, at + ampersand.size())) {
        length -= ampersand.size() - 1;
    }
    return length;
}

std::wstring AttributeValue(const xmlChar* begin, const xmlChar* end) {
    std::string_view raw = RawValue(begin, end);
    if (raw.find(ampersand) == std::string_view::npos) {
        return Platform::Utf8ToWide(raw);
    }
    std::string decoded;
    decoded.reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        if (raw.compare(i, ampersand.size(), ampersand) == 0) {
            decoded += '&';
            i += ampersand.size();
        } else {
            decoded += raw[i++];
        }
    }
    return Platform::Utf8ToWide(decoded);
}

}  // namespace

struct XmlPushParser::State {
    xmlParserCtxtPtr context = nullptr;
    XmlLimits limits;
    int depth = 0;
    size_t textBytes = 0;  // of the text since the last tag
    int fd = -1;
    std::string text;  // an in-memory document
    size_t textOffset = 0;
    bool finished = false;
    IXmlEventSink* sink = nullptr;
    std::exception_ptr failure;  // thrown by the sink, rethrown once the parser has returned
    std::optional<XmlParseError> firstError;
    bool refused = false;  // stopped by the program, not by the parser
    // What tells a cut-off or empty document from a malformed one.
    bool ending = false;      // the parser is told that the input has ended
    bool errorAtEnd = false;  // the first error came only then
    bool rootClosed = false;  // the root element has ended
    bool sawContent = false;  // a byte other than a blank or the byte-order mark came
    size_t bytesSeen = 0;

    // Only the first bytes of a document decide whether it holds anything at all.
    void NoteBytes(std::string_view bytes) {
        static constexpr unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};
        for (size_t i = 0; i < bytes.size() && !sawContent; ++i, ++bytesSeen) {
            auto byte = static_cast<unsigned char>(bytes[i]);
            bool mark = bytesSeen < 3 && byte == kByteOrderMark[bytesSeen];
            sawContent = !mark && byte != ' ' && byte != '\t' && byte != '\r' && byte != '\n';
        }
    }

    XmlDamage Damage() const {
        if (!sawContent) {
            return XmlDamage::Empty;
        }
        if (errorAtEnd && !refused && !rootClosed) {
            return XmlDamage::CutOff;
        }
        return XmlDamage::Malformed;
    }

    ~State() {
        if (context != nullptr) {
            // A document the parser makes of its own (it does for the entities of a DTD subset,
            // which the reading refuses before it gets there) is left to the caller to free.
            if (context->myDoc != nullptr) {
                xmlFreeDoc(context->myDoc);
                context->myDoc = nullptr;
            }
            xmlFreeParserCtxt(context);
        }
        if (fd >= 0) {
            close(fd);
        }
    }

    // No exception may cross the parser's frames: it is kept and the parse stopped.
    template <typename Event>
    void Deliver(Event&& event) {
        if (failure || refused || sink == nullptr) {
            return;
        }
        try {
            event(*sink);
        } catch (...) {  // Rethrown by Run once the parser has returned.
            failure = std::current_exception();
            xmlStopParser(context);
        }
    }

    static State& From(void* user) { return *static_cast<State*>(user); }

    // Ends the reading as if the document stopped being well-formed here.
    void Refuse(std::wstring message) {
        if (!firstError) {
            firstError = XmlParseError{xmlSAX2GetLineNumber(context), std::move(message)};
        }
        refused = true;
        xmlStopParser(context);
    }

    // A document type declaration can define entities and attribute defaults that change what
    // the document says, and lets undefined references pass as mere warnings; the program's
    // documents never carry one, so meeting one means the document is not what it claims.
    static void OnDocumentType(void* user, const xmlChar* /*name*/, const xmlChar* /*publicId*/,
                               const xmlChar* /*systemId*/) {
        From(user).Refuse(L"Document type declarations (DOCTYPE) are not accepted");
    }

    // The parser, told to take large documents, no longer bounds names and depth itself.
    bool WithinBounds(const xmlChar* localName, int attributeCount, const xmlChar** attributes) {
        if (++depth > limits.depth) {
            Refuse(L"Elements nested deeper than " + std::to_wstring(limits.depth) + L" levels");
            return false;
        }
        textBytes = 0;
        const std::wstring nameTooLong = L"Name longer than " + LimitText(limits.nameBytes);
        if (Length(localName) > limits.nameBytes) {
            Refuse(nameTooLong);
            return false;
        }
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** attribute = attributes + 5 * i;
            size_t prefixBytes = attribute[1] != nullptr ? Length(attribute[1]) + 1 : 0;
            if (prefixBytes + Length(attribute[0]) > limits.nameBytes) {
                Refuse(nameTooLong);
                return false;
            }
            if (DecodedLength(attribute[3], attribute[4]) > limits.valueBytes) {
                Refuse(L"Value of attribute \"" + ShownName(AttributeName(attribute)) +
                       L"\" longer than " + LimitText(limits.valueBytes));
                return false;
            }
        }
        return true;
    }

    static void OnStartElement(void* user, const xmlChar* localName, const xmlChar* /*prefix*/,
                               const xmlChar* /*uri*/, int /*namespaceCount*/,
                               const xmlChar** /*namespaces*/, int attributeCount,
                               int /*defaultedCount*/, const xmlChar** attributes) {
        State& state = From(user);
        if (state.refused || !state.WithinBounds(localName, attributeCount, attributes)) {
            return;
        }
        state.Deliver([&](IXmlEventSink& sink) {
            Attributes map;
            for (int i = 0; i < attributeCount; ++i) {
                const xmlChar** attribute = attributes + 5 * i;
                map[AttributeName(attribute)] = AttributeValue(attribute[3], attribute[4]);
            }
            sink.StartElement(FromXml(localName), map);
        });
    }

    static void OnEndElement(void* user, const xmlChar* localName, const xmlChar* /*prefix*/,
                             const xmlChar* /*uri*/) {
        State& state = From(user);
        --state.depth;
        state.rootClosed = state.rootClosed || state.depth == 0;
        state.textBytes = 0;
        state.Deliver([&](IXmlEventSink& sink) { sink.EndElement(FromXml(localName)); });
    }

    static void OnCharacters(void* user, const xmlChar* text, int length) {
        State& state = From(user);
        state.textBytes += static_cast<size_t>(length);
        if (state.textBytes > state.limits.valueBytes) {
            state.Refuse(L"Text longer than " + LimitText(state.limits.valueBytes));
            return;
        }
        state.Deliver([&](IXmlEventSink& sink) {
            sink.Characters(
                std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length)));
        });
    }

    // Keeps the first well-formedness error; also keeps the parser from printing to stderr.
    static void OnError(void* user, xmlErrorPtr error) {
        State& state = From(user);
        if (error == nullptr || error->level != XML_ERR_FATAL || state.firstError) {
            return;
        }
        XmlParseError parseError;
        parseError.line = error->line;
        std::string message = error->message != nullptr ? error->message : "";
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
            message.pop_back();
        }
        parseError.message = Platform::Utf8ToWide(message);
        state.firstError = std::move(parseError);
        state.errorAtEnd = state.ending;
    }

    void Create(const char* firstBytes, int size, const char* fileName, int options,
                const XmlLimits& bounds) {
        limits = bounds;
        QuietXmlEngine();
        xmlSAXHandler handler;
        std::memset(&handler, 0, sizeof(handler));
        handler.initialized = XML_SAX2_MAGIC;
        handler.startElementNs = OnStartElement;
        handler.endElementNs = OnEndElement;
        handler.characters = OnCharacters;
        // The same handler for both keeps the parser from classifying blanks itself.
        handler.ignorableWhitespace = OnCharacters;
        handler.cdataBlock = OnCharacters;
        handler.serror = OnError;
        handler.internalSubset = OnDocumentType;
        context = xmlCreatePushParserCtxt(&handler, this, firstBytes, size, fileName);
        if (context == nullptr) {
            throw std::bad_alloc();
        }
        // No XML_PARSE_NOENT or XML_PARSE_DTDLOAD: the input is not trusted. XML_PARSE_HUGE lets
        // values grow past ten megabytes; the limits keep the reading bounded instead.
        xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_HUGE | options);
        // Every distinct name stays in the parser's dictionary until the end; large documents
        // lift its bound too, which would let memory grow with the file.
        xmlDictSetLimit(context->dict, XML_MAX_DICTIONARY_LIMIT);
    }

    // Bytes the parser holds without having parsed them: the markup it waits to see the end of.
    size_t Unparsed() const {
        xmlParserInputPtr input = context->input;
        if (input == nullptr || input->cur == nullptr || input->end == nullptr) {
            return 0;
        }
        return static_cast<size_t>(input->end - input->cur);
    }

    // The next piece of the document; empty at its end. While the parser waits for the end of a
    // long piece of markup, it looks through all it holds of it for every piece it gets; pieces
    // as long as what it holds keep that linear. A piece never takes what the parser holds past
    // the markup limit, so that markup of exactly the limit is read and anything longer is seen
    // to be longer.
    std::string_view NextChunk(std::vector<char>& buffer, const wchar_t* function) {
        size_t held = Unparsed();
        size_t room = held < limits.markupBytes ? limits.markupBytes - held : 1;
        size_t wanted = std::min(std::max(ChunkSize, held), room);
        if (fd < 0) {
            size_t size = std::min(wanted, text.size() - textOffset);
            std::string_view chunk(text.data() + textOffset, size);
            textOffset += size;
            return chunk;
        }
        // Given back once the long markup is read, so that it does not stay for the whole file.
        if (buffer.size() < wanted || buffer.size() > 2 * std::max(wanted, ChunkSize)) {
            std::vector<char>(wanted).swap(buffer);
        }
        for (;;) {
            ssize_t got = read(fd, buffer.data(), wanted);
            if (got >= 0) {
                return std::string_view(buffer.data(), static_cast<size_t>(got));
            }
            if (errno != EINTR) {
                KV_RAISE_ERROR_CODE(function, FileErrorCode(errno));
            }
        }
    }
};

XmlPushParser::XmlPushParser() : state_(std::make_unique<State>()) {}

XmlPushParser::~XmlPushParser() = default;

std::unique_ptr<XmlPushParser> XmlPushParser::OpenFile(const std::wstring& fileName,
                                                       const wchar_t* function,
                                                       const XmlLimits& limits) {
    std::unique_ptr<XmlPushParser> parser(new XmlPushParser());
    State& state = *parser->state_;
    std::string name = Platform::WideToUtf8(fileName);
    state.fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (state.fd < 0) {
        KV_RAISE_ERROR_CODE(function, FileErrorCode(errno));
    }
    // The parser recognises the encoding from the first bytes only when it gets them up front.
    char first[4];
    ssize_t got;
    do {
        got = read(state.fd, first, sizeof(first));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        KV_RAISE_ERROR_CODE(function, FileErrorCode(errno));
    }
    state.NoteBytes(std::string_view(first, static_cast<size_t>(got)));
    state.Create(first, static_cast<int>(got), name.c_str(), 0, limits);
    return parser;
}

std::unique_ptr<XmlPushParser> XmlPushParser::FromText(std::string utf8, const XmlLimits& limits) {
    std::unique_ptr<XmlPushParser> parser(new XmlPushParser());
    State& state = *parser->state_;
    state.text = std::move(utf8);
    // The text is Unicode already; a declaration naming "UTF-16" must not make it be re-decoded.
    state.Create(nullptr, 0, nullptr, XML_PARSE_IGNORE_ENC, limits);
    return parser;
}

int XmlPushParser::CurrentLine() const {
    return state_->context != nullptr ? xmlSAX2GetLineNumber(state_->context) : 0;
}

std::optional<XmlParseError> XmlPushParser::Run(IXmlEventSink& sink, const wchar_t* function) {
    State& state = *state_;
    if (state.finished) {
        return std::nullopt;
    }
    state.sink = &sink;
    std::vector<char> buffer;
    while (!state.finished) {
        std::string_view chunk = state.NextChunk(buffer, function);
        state.finished = chunk.empty();
        state.NoteBytes(chunk);
        state.ending = state.finished;
        xmlParseChunk(state.context, chunk.data(), static_cast<int>(chunk.size()),
                      state.finished ? 1 : 0);
        if (state.failure) {
            state.finished = true;
            state.sink = nullptr;
            std::rethrow_exception(state.failure);
        }
        if (!state.refused && state.Unparsed() >= state.limits.markupBytes) {
            state.Refuse(
                L"A start tag, comment, processing instruction or CDATA section longer than " +
                LimitText(state.limits.markupBytes));
        }
        if (state.context->wellFormed == 0 || state.refused) {
            state.finished = true;
        }
    }
    state.sink = nullptr;
    if (state.context->wellFormed != 0 && !state.refused) {
        return std::nullopt;
    }
    XmlParseError error;
    if (state.firstError) {
        error = *state.firstError;
    } else {
        error.line = xmlSAX2GetLineNumber(state.context);
        error.message = L"not well-formed";
        state.errorAtEnd = state.ending;
    }
    error.damage = state.Damage();
    return error;
}

namespace {
void IgnoreError(void*, const char*, ...) {}
void IgnoreStructuredError(void*, xmlErrorPtr) {}
}  // namespace

void QuietXmlEngine() {
    static bool quiet = [] {
        xmlSetGenericErrorFunc(nullptr, IgnoreError);
        xmlSetStructuredErrorFunc(nullptr, IgnoreStructuredError);
        return true;
    }();
    (void)quiet;
}

uint32_t FileErrorCode(int error) {
    return Platform::ErrnoToWin32(error);
}

}  // namespace KvMigration
