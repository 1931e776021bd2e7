#include "xml/SaxReader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/KvError.h"
#include "platform/CodePage.h"
#include "support/RecordingImporter.h"
#include "support/ScopedTempDir.h"

namespace KvMigration {
namespace {

using Log = std::vector<std::wstring>;

const std::wstring Document =
    L"<Korvant><Config><Common><Good>1</Good><Bad>oops</Bad><Late>2</Late></Common>"
    L"</Config></Korvant>";

TEST(SaxReaderFailures, ElementFailuresOfAnImporterAreDroppedAndReadingGoesOn) {
    const std::vector<std::wstring> failingCalls = {L"StartNode(Bad)", L"Value(oops)",
                                                    L"EndNode(Bad)"};
    for (const std::wstring& failing : failingCalls) {
        SCOPED_TRACE(std::string(failing.begin(), failing.end()));
        auto log = std::make_shared<Log>();
        auto importer = std::make_shared<KvTest::RecordingImporter>(L"Common", log);
        importer->throwOn = {failing};
        SaxReader reader(XmlSource{Document}, MigrationContext{});
        reader.RegisterImporter(L"Korvant/Config/Common", importer);
        reader.Resume();
        EXPECT_EQ(reader.Outcome(), ReadOutcome::Complete);
        // The failing call was made once; everything after it still arrives.
        EXPECT_EQ(
            *log,
            (Log{L"Common: BeginImport()", L"Common: StartNode(Good)", L"Common: Value(1)",
                 L"Common: EndNode(Good)", L"Common: StartNode(Bad)", L"Common: Value(oops)",
                 L"Common: EndNode(Bad)", L"Common: StartNode(Late)", L"Common: Value(2)",
                 L"Common: EndNode(Late)", L"Common: EndNode(Common)", L"Common: EndImport()"}));
    }
}

// Reads the document with an importer that throws `failure` from `call`.
template <typename Failure>
void ReadWithFailingSectionCall(const std::wstring& call, Failure failure) {
    // The fatal output waits for a key only on a terminal; the text goes where the test sees it.
    std::freopen("/dev/null", "r", stdin);
    dup2(2, 1);
    class Failing : public KvTest::RecordingImporter {
    public:
        Failing(std::wstring call, Failure failure)
            : RecordingImporter(L"x", std::make_shared<std::vector<std::wstring>>()),
              call_(call),
              failure_(failure) {}
        void BeginImport(const MigrationContext&, const Attributes&) override {
            if (call_ == L"BeginImport")
                throw failure_;
        }
        void EndImport() override {
            if (call_ == L"EndImport")
                throw failure_;
        }

    private:
        std::wstring call_;
        Failure failure_;
    };
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("m.xml"), Platform::WideToUtf8(Document));
    SaxReader reader(Platform::Utf8ToWide(dir.File("m.xml")), MigrationContext{});
    reader.RegisterImporter(L"Korvant/Config/Common", std::make_shared<Failing>(call, failure));
    reader.Resume();
    std::fprintf(stderr, "reading went on");
    std::exit(0);
}

// Every fatal output ends with where the trace of the run is.
const std::string kTraceLine = "Trace file: [^\n]*/KvMigrationUtil\\.log\n$";

KvBase::CKvError BrokenSchema() {
    return KvBase::CKvError(L"The import file schema is broken.", L"Test", 1, L"Test::BeginImport");
}

TEST(SaxReaderFailuresDeathTest, FailingBeginImportEndsTheProcessWithTheErrorDescription) {
    EXPECT_EXIT(ReadWithFailingSectionCall(L"BeginImport", BrokenSchema()),
                testing::ExitedWithCode(255), "^The import file schema is broken.\n" + kTraceLine);
}

TEST(SaxReaderFailuresDeathTest, FailingEndImportWithStandardExceptionEndsTheProcess) {
    EXPECT_EXIT(
        ReadWithFailingSectionCall(L"EndImport", std::runtime_error("invalid stoul argument")),
        testing::ExitedWithCode(255), "^SAX exception: invalid stoul argument\n" + kTraceLine);
}

TEST(SaxReaderFailuresDeathTest, FailingEndImportWithAnythingElseEndsTheProcess) {
    EXPECT_EXIT(ReadWithFailingSectionCall(L"EndImport", 42), testing::ExitedWithCode(255),
                "^An unhandled SAX exception occurred.\n" + kTraceLine);
}

// A document kept in a directory attribute: its caller names the object it belongs to.
TEST(SaxReaderFailures, SectionFailuresOfAnInMemoryDocumentLeaveTheReading) {
    class FailingBegin : public KvTest::RecordingImporter {
    public:
        FailingBegin() : RecordingImporter(L"x", std::make_shared<std::vector<std::wstring>>()) {}
        void BeginImport(const MigrationContext&, const Attributes&) override {
            throw BrokenSchema();
        }
    };
    SaxReader reader(XmlSource{Document}, MigrationContext{});
    reader.RegisterImporter(L"Korvant/Config/Common", std::make_shared<FailingBegin>());
    try {
        reader.Resume();
        FAIL() << "went on";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Description(), L"The import file schema is broken.");
    }
    EXPECT_EQ(reader.Outcome(), ReadOutcome::Damaged);
}

}  // namespace
}  // namespace KvMigration
