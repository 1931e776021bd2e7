// Feeds arbitrary bytes to SaxReader, from a file (raw bytes, any encoding) or as an in-memory
// document (the bytes taken as UTF-8 text), with a checking importer on every section path. The
// first byte chooses: bit 0 a file, bit 1 the parser itself under limits small enough for inputs
// of a few kilobytes to reach (the other six bits scale them), with a sink that checks them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "QuietTrace.h"
#include "platform/CodePage.h"
#include "xml/SaxReader.h"
#include "xml/XmlPushParser.h"

namespace {

using namespace KvMigration;

// Traps on any event sequence a well-behaved reader cannot produce.
class CheckingImporter : public IImporter {
public:
    void BeginImport(const MigrationContext&, const Attributes&) override {
        Require(open_.empty() && !inSection_);
        inSection_ = true;
    }
    void StartNode(const std::wstring& name, const Attributes& attributes) override {
        Require(inSection_ && !name.empty());
        open_.push_back(name);
        for (const auto& [key, value] : attributes) {
            Require(!key.empty());
            (void)value;
        }
    }
    void Value(const std::wstring& text) override {
        Require(inSection_ && text.find_first_not_of(L" \n\t") != std::wstring::npos);
    }
    void EndNode(const std::wstring& name) override {
        Require(inSection_);
        if (open_.empty()) {
            endedSection_ = true;  // the section element itself
            return;
        }
        Require(open_.back() == name);
        open_.pop_back();
    }
    void EndImport() override {
        Require(inSection_ && endedSection_ && open_.empty());
        inSection_ = false;
        endedSection_ = false;
    }

private:
    static void Require(bool condition) {
        if (!condition) {
            __builtin_trap();
        }
    }
    std::vector<std::wstring> open_;
    bool inSection_ = false;
    bool endedSection_ = false;
};

// Traps on events that break nesting or pass the limits the parser was given.
class CheckingSink : public IXmlEventSink {
public:
    explicit CheckingSink(const XmlLimits& limits) : limits_(limits) {}

    void StartElement(const std::wstring& name, const Attributes& attributes) override {
        Require(!name.empty() && Platform::WideToUtf8(name).size() <= limits_.nameBytes);
        for (const auto& [key, value] : attributes) {
            Require(!key.empty() && Platform::WideToUtf8(key).size() <= limits_.nameBytes);
            Require(Platform::WideToUtf8(value).size() <= limits_.valueBytes);
        }
        open_.push_back(name);
        Require(open_.size() <= static_cast<size_t>(limits_.depth));
        textBytes_ = 0;
    }
    void Characters(std::string_view utf8) override {
        Require(!open_.empty());
        textBytes_ += utf8.size();
        Require(textBytes_ <= limits_.valueBytes);
    }
    void EndElement(const std::wstring& name) override {
        Require(!open_.empty() && open_.back() == name);
        open_.pop_back();
        textBytes_ = 0;
    }

private:
    static void Require(bool condition) {
        if (!condition) {
            __builtin_trap();
        }
    }
    XmlLimits limits_;
    std::vector<std::wstring> open_;
    size_t textBytes_ = 0;
};

XmlLimits SmallLimits(uint8_t scale) {
    XmlLimits limits;
    limits.valueBytes = 4 * scale;
    limits.markupBytes = 16 * scale;
    limits.nameBytes = scale;
    limits.depth = 1 + scale / 4;
    return limits;
}

int MemoryFile(const std::string& bytes) {
    int fd = memfd_create("sax", MFD_CLOEXEC);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        abort();
    }
    return fd;
}

void Register(SaxReader& reader) {
    for (const wchar_t* path :
         {L"Korvant/Config/Mapping", L"Korvant/Config/Common", L"Korvant/Data/Oms",
          L"Korvant/Data/Client", L"Korvant/Data/ICheck", L"a", L"a/b", L"a/b/c"}) {
        reader.RegisterImporter(path, std::make_shared<CheckingImporter>());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    KvFuzz::SendTraceNowhere();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const bool fromFile = (data[0] & 1) != 0;
    if ((data[0] & 2) != 0) {
        XmlLimits limits = SmallLimits(static_cast<uint8_t>(1 + (data[0] >> 2)));
        int fd = fromFile ? MemoryFile(bytes) : -1;
        std::unique_ptr<XmlPushParser> parser =
            fromFile
                ? XmlPushParser::OpenFile(L"/proc/self/fd/" + std::to_wstring(fd), L"Fuzz", limits)
                : XmlPushParser::FromText(bytes, limits);
        CheckingSink sink(limits);
        (void)parser->Run(sink, L"Fuzz");
        if (fd >= 0) {
            close(fd);
        }
    } else if (fromFile) {
        int fd = MemoryFile(bytes);
        {
            SaxReader reader(L"/proc/self/fd/" + std::to_wstring(fd), MigrationContext{});
            Register(reader);
            reader.Resume();
            (void)reader.DamagedDocumentError();
        }
        close(fd);
    } else {
        SaxReader reader(XmlSource{Platform::Utf8ToWide(bytes)}, MigrationContext{});
        Register(reader);
        reader.Resume();
        (void)reader.DamagedDocumentError();
    }
    return 0;
}
