#include "app/Passes.h"

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

const char* const Skeleton =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Korvant>\n"
    "  <Config>\n"
    "    <Mapping/>\n"
    "    <Common/>\n"
    "  </Config>\n"
    "  <Data>\n"
    "    <Oms/>\n"
    "    <Client/>\n"
    "    <ICheck/>\n"
    "  </Data>\n"
    "</Korvant>\n";

InputParameters Parameters(bool isExport, const std::string& file, std::set<int> sections = {}) {
    InputParameters parameters;
    parameters.isExport = isExport;
    parameters.fileName = Platform::Utf8ToWide(file);
    parameters.sections = std::move(sections);
    parameters.omsId = L"S-1-5-21-7";
    return parameters;
}

// Writes one marker element naming its section and the server SID it was given.
class MarkerExporter : public IExporter {
public:
    explicit MarkerExporter(std::wstring name) : name_(std::move(name)) {}
    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) override {
        writer->StartNode(L"Marker", name_);
        writer->WriteAttribute(L"server", context.serverSid);
        writer->EndNode();
    }

private:
    std::wstring name_;
};

// No exporter at all: every section stays empty.
class NoExportSections : public IExportSections {
public:
    std::shared_ptr<IExporter> Mapping(const MigrationContext&) override { return nullptr; }
    std::shared_ptr<IExporter> Common(const MigrationContext&) override { return nullptr; }
    std::shared_ptr<IExporter> Oms(const MigrationContext&) override { return nullptr; }
    std::shared_ptr<IExporter> Client(const MigrationContext&) override { return nullptr; }
    std::shared_ptr<IExporter> ICheck(const MigrationContext&) override { return nullptr; }
};

class MarkerExportSections : public IExportSections {
public:
    Log made;
    std::shared_ptr<IExporter> Make(const wchar_t* name) {
        made.push_back(name);
        return std::make_shared<MarkerExporter>(name);
    }
    std::shared_ptr<IExporter> Mapping(const MigrationContext&) override { return Make(L"M"); }
    std::shared_ptr<IExporter> Common(const MigrationContext&) override { return Make(L"C"); }
    std::shared_ptr<IExporter> Oms(const MigrationContext&) override { return Make(L"O"); }
    std::shared_ptr<IExporter> Client(const MigrationContext&) override { return Make(L"U"); }
    std::shared_ptr<IExporter> ICheck(const MigrationContext&) override { return Make(L"I"); }
};

class RecordingImportSections : public IImportSections {
public:
    std::shared_ptr<Log> log = std::make_shared<Log>();
    std::set<int> omsSelection;
    std::shared_ptr<IImporter> Make(const wchar_t* name) {
        return std::make_shared<KvTest::RecordingImporter>(name, log);
    }
    std::shared_ptr<IImporter> Mapping(const MigrationContext&) override {
        return Make(L"Mapping");
    }
    std::shared_ptr<IImporter> Common(const MigrationContext&) override { return Make(L"Common"); }
    std::shared_ptr<IImporter> Oms(const MigrationContext& context) override {
        omsSelection = context.sections;
        return Make(L"Oms");
    }
    std::shared_ptr<IImporter> Client(const MigrationContext&) override { return Make(L"Client"); }
    std::shared_ptr<IImporter> ICheck(const MigrationContext&) override { return Make(L"ICheck"); }
};

TEST(ExportPass, WritesTheWholeSkeletonWithEmptySections) {
    KvTest::ScopedTempDir dir;
    NoExportSections none;
    ExportData(Parameters(true, dir.File("m.xml")), StorageSession{}, none);
    EXPECT_EQ(KvTest::ReadFile(dir.File("m.xml")), Skeleton);
}

TEST(ExportPass, EverySectionExporterWritesInsideItsSectionWhateverTheSectionKeys) {
    KvTest::ScopedTempDir dir;
    MarkerExportSections sections;
    ExportData(Parameters(true, dir.File("m.xml"), {SectionUsers}), StorageSession{}, sections);
    EXPECT_EQ(sections.made, (Log{L"M", L"C", L"O", L"U", L"I"}));
    EXPECT_EQ(KvTest::ReadFile(dir.File("m.xml")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<Korvant>\n"
              "  <Config>\n"
              "    <Mapping>\n      <Marker server=\"S-1-5-21-7\">M</Marker>\n    </Mapping>\n"
              "    <Common>\n      <Marker server=\"S-1-5-21-7\">C</Marker>\n    </Common>\n"
              "  </Config>\n"
              "  <Data>\n"
              "    <Oms>\n      <Marker server=\"S-1-5-21-7\">O</Marker>\n    </Oms>\n"
              "    <Client>\n      <Marker server=\"S-1-5-21-7\">U</Marker>\n    </Client>\n"
              "    <ICheck>\n      <Marker server=\"S-1-5-21-7\">I</Marker>\n    </ICheck>\n"
              "  </Data>\n"
              "</Korvant>\n");
}

// Writes its marker but could not read a part of its section.
class IncompleteExporter : public MarkerExporter {
public:
    IncompleteExporter() : MarkerExporter(L"I") {}
    std::wstring MissingContent() const override { return L"The section lacks x."; }
};

class IncompleteExportSections : public MarkerExportSections {
public:
    std::shared_ptr<IExporter> ICheck(const MigrationContext&) override {
        return std::make_shared<IncompleteExporter>();
    }
};

TEST(ExportPass, AnIncompleteSectionIsRaisedOnceTheWholeFileIsWritten) {
    KvTest::ScopedTempDir dir;
    IncompleteExportSections sections;
    try {
        ExportData(Parameters(true, dir.File("m.xml")), StorageSession{}, sections);
        FAIL() << "no error raised";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Description(),
                  L"The export is incomplete. The section lacks x. The rest of the file was "
                  L"written; the trace holds the errors.");
    }
    const std::string file = KvTest::ReadFile(dir.File("m.xml"));
    EXPECT_NE(file.find("<Marker server=\"S-1-5-21-7\">I</Marker>"), std::string::npos);
    EXPECT_EQ(file.substr(file.size() - 11), "</Korvant>\n");
}

Log SectionCalls(const wchar_t* name) {
    std::wstring label = name;
    return {label + L": BeginImport()", label + L": EndNode(" + label + L")",
            label + L": EndImport()"};
}

Log Concat(std::initializer_list<const wchar_t*> names) {
    Log all;
    for (const wchar_t* name : names) {
        Log calls = SectionCalls(name);
        all.insert(all.end(), calls.begin(), calls.end());
    }
    return all;
}

struct SelectionCase {
    const char* name;
    std::set<int> keys;
    Log expected;
    std::set<int> omsSelection;
};

TEST(ImportPass, ReadsTheExportedSkeletonWithTheImportersOfTheSelection) {
    KvTest::ScopedTempDir dir;
    NoExportSections none;
    ExportData(Parameters(true, dir.File("m.xml")), StorageSession{}, none);
    const std::vector<SelectionCase> cases = {
        {"no keys: all five",
         {},
         Concat({L"Mapping", L"Common", L"Oms", L"Client", L"ICheck"}),
         {0, 1, 2, 4, 5}},
        {"-users", {SectionUsers}, Concat({L"Mapping", L"Common", L"Client"}), {}},
        {"-clients", {SectionClients}, Concat({L"Mapping", L"Common", L"Oms"}), {2}},
        {"-server", {SectionServer}, Concat({L"Mapping", L"Common", L"Oms"}), {1}},
        {"-policies -icheck",
         {SectionPolicies, SectionICheck},
         Concat({L"Mapping", L"Common", L"Oms", L"ICheck"}),
         {0, 4}},
        {"-icheck", {SectionICheck}, Concat({L"Mapping", L"Common", L"ICheck"}), {}},
    };
    for (const SelectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingImportSections sections;
        ImportData(Parameters(false, dir.File("m.xml"), c.keys), StorageSession{}, sections);
        EXPECT_EQ(*sections.log, c.expected);
        EXPECT_EQ(sections.omsSelection, c.omsSelection);
    }
}

TEST(ImportPass, DamagedFileIsRaisedAfterWhatCameBeforeTheDamageWasImported) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("m.xml"),
                      "<Korvant>\n<Config>\n<Mapping/>\n<Common>\n<x>\n</Config>\n</Korvant>\n");
    RecordingImportSections sections;
    try {
        ImportData(Parameters(false, dir.File("m.xml")), StorageSession{}, sections);
        FAIL() << "a damaged file was imported as if it were whole";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Description(),
                  L"The file \"" + Platform::Utf8ToWide(dir.File("m.xml")) +
                      L"\" is damaged at line 6: Opening and ending tag mismatch: x line 5 and "
                      L"Config. The damage lies inside the Common section. These sections from "
                      L"that line on were not imported: Oms, Client, ICheck.");
    }
    Log expected = SectionCalls(L"Mapping");
    expected.insert(expected.end(), {L"Common: BeginImport()", L"Common: StartNode(x)"});
    EXPECT_EQ(*sections.log, expected);
}

TEST(ImportPass, EmptyAndCutFilesAreNamedAsSuch) {
    KvTest::ScopedTempDir dir;
    const std::wstring name = Platform::Utf8ToWide(dir.File("m.xml"));
    struct Case {
        const char* title;
        std::string bytes;
        std::wstring message;
    };
    const Case cases[] = {
        {"empty", "", L"The file \"" + name + L"\" is empty."},
        {"blank", "\n  \n", L"The file \"" + name + L"\" is empty."},
        {"cut", "<Korvant>\n<Config>\n<Mapping/>\n<Common>",
         L"The file \"" + name +
             L"\" ends at line 4 before the document is complete. The damage lies inside the "
             L"Common section. These sections from that line on were not imported: Oms, Client, "
             L"ICheck."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::WriteFile(dir.File("m.xml"), c.bytes);
        RecordingImportSections sections;
        try {
            ImportData(Parameters(false, dir.File("m.xml")), StorageSession{}, sections);
            ADD_FAILURE() << "a damaged file was imported as if it were whole";
        } catch (const KvBase::CKvError& e) {
            EXPECT_EQ(e.Description(), c.message);
        }
    }
}

TEST(ImportPass, AFileWithoutAnyOfTheSelectedSectionsSaysWhichItLacks) {
    KvTest::ScopedTempDir dir;
    const std::string name = dir.File("m.xml");
    const std::string all = "Oms (-server, -clients, -policies), Client (-users), ICheck (-icheck)";
    const std::string data = "<Korvant><Config><Mapping/><Common/></Config><Data>";
    struct Case {
        const char* title;
        std::string document;
        std::set<int> sections;
        std::string absent;  // empty: no warning
    };
    const Case cases[] = {
        {"another program's XML", "<project><target name=\"all\"/></project>", {}, all},
        {"another program's XML, some sections",
         "<project/>",
         {SectionPolicies, SectionICheck},
         "Oms (-policies), ICheck (-icheck)"},
        {"configuration only", data + "</Data></Korvant>", {SectionUsers}, "Client (-users)"},
        {"sections in the wrong place", "<Korvant><Oms/><Client/><ICheck/></Korvant>", {}, all},
        {"another section only",
         data + "<Oms/></Data></Korvant>",
         {SectionUsers},
         "Client (-users)"},
        {"one of the selected sections", data + "<ICheck/></Data></Korvant>", {}, ""},
        {"the whole skeleton", Skeleton, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::WriteFile(name, c.document);
        RecordingImportSections sections;
        testing::internal::CaptureStderr();
        ImportData(Parameters(false, name, c.sections), StorageSession{}, sections);
        const std::string warnings = testing::internal::GetCapturedStderr();
        EXPECT_EQ(warnings, c.absent.empty() ? ""
                                             : "The file \"" + name +
                                                   "\" holds none of the selected sections: " +
                                                   c.absent + ".\n");
    }
}

// Writes an object for every element of its section, as the client section does while it reads,
// and can report that it left something out.
class WritingImporter : public KvTest::RecordingImporter {
public:
    WritingImporter(std::wstring label, std::shared_ptr<std::vector<std::wstring>> log,
                    std::wstring missing)
        : RecordingImporter(std::move(label), std::move(log)), missing_(std::move(missing)) {}
    void BeginImport(const MigrationContext& context, const Attributes& attributes) override {
        journal_ = context.journal;
        RecordingImporter::BeginImport(context, attributes);
    }
    void StartNode(const std::wstring& name, const Attributes& attributes) override {
        journal_->Record(name, L"id", L"name", ObjectAction::Created);
        RecordingImporter::StartNode(name, attributes);
    }
    std::wstring MissingContent() const override { return missing_; }

private:
    MigrationJournalPtr journal_;
    std::wstring missing_;
};

class WritingImportSections : public RecordingImportSections {
public:
    std::wstring clientMissing;
    std::shared_ptr<IImporter> Client(const MigrationContext&) override {
        return std::make_shared<WritingImporter>(L"Client", log, clientMissing);
    }
};

TEST(ImportPass, ADamagedFileNamesTheSectionItCutAndWhatOfItWasWritten) {
    KvTest::ScopedTempDir dir;
    const std::string name = dir.File("m.xml");
    const std::string head = "<Korvant>\n<Config><Mapping/><Common/></Config>\n<Data>\n<Oms/>\n";
    struct Case {
        const char* title;
        std::string document;
        std::wstring leftOut;
        bool dryRun = false;
    };
    const Case cases[] = {
        {"cut inside a data section", head + "<Client>\n<User/><User/>\n",
         L"The damage lies inside the Client section: 2 of its objects were written before that "
         L"line; the rest of it was not imported. These sections from that line on were not "
         L"imported: ICheck."},
        {"cut inside a data section in a dry run", head + "<Client>\n<User/><User/>\n",
         L"The damage lies inside the Client section: 2 of its objects would have been written "
         L"before that line; the rest of it was not imported. These sections from that line on "
         L"were not imported: ICheck.",
         true},
        {"cut between two sections", head + "<Client><User/></Client>\n",
         L"These sections from that line on were not imported: ICheck."},
        {"damage after the last section", head + "<Client/><ICheck/></Data></Korvant>\n<Korvant/>",
         L"Every selected section had been read before that line."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::WriteFile(name, c.document);
        WritingImportSections sections;
        InputParameters parameters = Parameters(false, name);
        parameters.dryRun = c.dryRun;
        try {
            ImportData(parameters, StorageSession{}, sections);
            ADD_FAILURE() << "a damaged file was imported as if it were whole";
        } catch (const KvBase::CKvError& e) {
            const std::wstring text = e.Description();
            EXPECT_TRUE(text.ends_with(L". " + c.leftOut)) << Platform::WideToUtf8(text);
        }
    }
}

TEST(ImportPass, WhatAnImporterLeftOutEndsTheRunOnceEverySectionIsImported) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("m.xml"), Skeleton);
    WritingImportSections sections;
    sections.clientMissing = L"Two users were left out.";
    try {
        ImportData(Parameters(false, dir.File("m.xml")), StorageSession{}, sections);
        FAIL() << "an import that left objects out ended as a success";
    } catch (const KvBase::CKvError& e) {
        EXPECT_EQ(e.Description(), L"The import is incomplete. Two users were left out.");
    }
    EXPECT_EQ(*sections.log, Concat({L"Mapping", L"Common", L"Oms", L"Client", L"ICheck"}));
}

class ThrowingExportSections : public MarkerExportSections {
public:
    std::shared_ptr<IExporter> Oms(const MigrationContext&) override {
        throw std::runtime_error("no servers");
    }
};

class ThrowingImportSections : public RecordingImportSections {
public:
    std::shared_ptr<IImporter> Common(const MigrationContext&) override { throw 7; }
};

// Every fatal output ends with where the trace of the run is.
const std::string kTraceLine = "Trace file: [^\n]*/KvMigrationUtil\\.log\n$";

void RunPass(const InputParameters& parameters) {
    std::freopen("/dev/null", "r", stdin);
    dup2(2, 1);
    ThrowingExportSections exportSections;
    ThrowingImportSections importSections;
    RunPassStage(parameters, StorageSession{}, exportSections, importSections);
    std::exit(0);
}

TEST(PassStageDeathTest, StandardExceptionOfTheExportEndsTheRun) {
    KvTest::ScopedTempDir dir;
    EXPECT_EXIT(RunPass(Parameters(true, dir.File("m.xml"))), testing::ExitedWithCode(255),
                "^An exception occurred during export: no servers\n" + kTraceLine);
}

TEST(PassStageDeathTest, ErrorObjectOfTheExportEndsTheRunWithItsDescription) {
    EXPECT_EXIT(RunPass(Parameters(true, "/nonexistent/folder/m.xml")),
                testing::ExitedWithCode(255),
                "^The system cannot find the file specified.\n" + kTraceLine);
}

TEST(PassStageDeathTest, AnyOtherFailureOfTheImportEndsTheRun) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("m.xml"), Skeleton);
    EXPECT_EXIT(RunPass(Parameters(false, dir.File("m.xml"))), testing::ExitedWithCode(255),
                "^An unhandled exception occurred during import.\n" + kTraceLine);
}

// Exports one object, then fails part-way through its section.
class PartWayExporter : public IExporter {
public:
    void Export(std::shared_ptr<ISaxWriter>, const MigrationContext& context) override {
        context.journal->Record(L"Server", L"S-1-5-21-7", L"oms", ObjectAction::Exported);
        throw std::runtime_error("the server went away");
    }
};

class PartWayExportSections : public MarkerExportSections {
public:
    std::shared_ptr<IExporter> Oms(const MigrationContext&) override {
        return std::make_shared<PartWayExporter>();
    }
};

// Creates one object when its section begins and fails at the section's end.
class PartWayImporter : public KvTest::RecordingImporter {
public:
    PartWayImporter()
        : RecordingImporter(L"Common", std::make_shared<std::vector<std::wstring>>()) {}
    void BeginImport(const MigrationContext& context, const Attributes& attributes) override {
        context.journal->Record(L"Policy", L"{1}", L"p", ObjectAction::Created);
        RecordingImporter::BeginImport(context, attributes);
    }
    void EndImport() override {
        KV_RAISE_ERROR(L"PartWayImporter", L"The policy could not be written.");
    }
};

class PartWayImportSections : public RecordingImportSections {
public:
    std::shared_ptr<IImporter> Common(const MigrationContext&) override {
        return std::make_shared<PartWayImporter>();
    }
};

template <typename ExportSections, typename ImportSections>
void RunPassOf(const InputParameters& parameters) {
    std::freopen("/dev/null", "r", stdin);
    dup2(2, 1);
    ExportSections exportSections;
    ImportSections importSections;
    RunPassStage(parameters, StorageSession{}, exportSections, importSections);
    std::exit(0);
}

// The summary comes ahead of the failure, whichever layer ends the run: the pass itself, or the
// file's reader for an importer's error.
TEST(PassStageDeathTest, AFailedPassShowsItsSummaryBeforeTheFailure) {
    KvTest::ScopedTempDir dir;
    EXPECT_EXIT((RunPassOf<PartWayExportSections, RecordingImportSections>(
                    Parameters(true, dir.File("m.xml")))),
                testing::ExitedWithCode(255),
                "^Export summary up to the failure:\n"
                "  Mapping  exported 0  skipped 0  failed 0\n"
                "  Common   exported 0  skipped 0  failed 0\n"
                "  Oms      exported 1  skipped 0  failed 0\n"
                "File: [^\n]*/m\\.xml, [0-9]+ bytes, incomplete\n"
                "An exception occurred during export: the server went away\n" +
                    kTraceLine);

    KvTest::WriteFile(dir.File("in.xml"),
                      "<Korvant><Config><Mapping/><Common/></Config></Korvant>");
    InputParameters dryRun = Parameters(false, dir.File("in.xml"));
    dryRun.dryRun = true;
    EXPECT_EXIT((RunPassOf<MarkerExportSections, PartWayImportSections>(dryRun)),
                testing::ExitedWithCode(255),
                "^Dry-run summary up to the failure \\(what the import would do; nothing was "
                "written\\):\n"
                "  Mapping  created 0  updated 0  skipped 0  failed 0\n"
                "  Common   created 1  updated 0  skipped 0  failed 0\n"
                "The policy could not be written.\n" +
                    kTraceLine);
}

TEST(PassStage, ACompletedExportEndsWithItsSummaryAndTheFilesSize) {
    KvTest::ScopedTempDir dir;
    MarkerExportSections exportSections;
    RecordingImportSections importSections;
    auto journal = std::make_shared<MigrationJournal>();
    testing::internal::CaptureStdout();
    RunPassStage(Parameters(true, dir.File("m.xml")), StorageSession{}, exportSections,
                 importSections, journal);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "Export summary:\n"
              "  Mapping  exported 0  skipped 0  failed 0\n"
              "  Common   exported 0  skipped 0  failed 0\n"
              "  Oms      exported 0  skipped 0  failed 0\n"
              "  Client   exported 0  skipped 0  failed 0\n"
              "  ICheck   exported 0  skipped 0  failed 0\n"
              "File: " +
                  dir.File("m.xml") + ", " +
                  std::to_string(KvTest::ReadFile(dir.File("m.xml")).size()) + " bytes\n");
}

}  // namespace
}  // namespace KvMigration
