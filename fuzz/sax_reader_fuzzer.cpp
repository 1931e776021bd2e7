// Feeds arbitrary bytes to SaxReader, from a file (raw bytes, any encoding) or as an in-memory
// document (the bytes taken as UTF-8 text), with a checking importer on every section path.
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
    if ((data[0] & 1) != 0) {
        int fd = memfd_create("sax", MFD_CLOEXEC);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            abort();
        }
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
