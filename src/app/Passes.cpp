#include "app/Passes.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "helper/PassSummary.h"
#include "platform/CodePage.h"
#include "xml/SaxReader.h"
#include "xml/SaxWriter.h"
#include "xml/SectionPaths.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace KvMigration {
namespace {

MigrationContext ExportContext(const InputParameters& parameters, const StorageSession& session,
                               MigrationJournalPtr journal) {
    MigrationContext context;
    context.storage = session;
    context.serverSid = parameters.omsId;
    if (journal) {
        context.journal = std::move(journal);
    }
    return context;
}

MigrationContext ImportContext(const InputParameters& parameters, const StorageSession& session,
                               MigrationJournalPtr journal) {
    MigrationContext context = ExportContext(parameters, session, std::move(journal));
    context.dryRun = parameters.dryRun;
    context.sections = parameters.sections;
    if (context.sections.empty()) {
        context.sections = {SectionServer, SectionClients, SectionPolicies, SectionICheck,
                            SectionUsers};
    }
    context.forceImport = parameters.forceImport;
    context.importPrivileges = parameters.importPrivileges;
    context.kvPolicyPriority = parameters.kvPolicyPriority;
    return context;
}

// The section's name is the last element of its path.
std::wstring SectionName(const wchar_t* path) {
    std::wstring text(path);
    return text.substr(text.rfind(L'/') + 1);
}

// Names the section in the journal while its exporter runs, so that the objects it records are
// counted under it.
class SectionExporter : public IExporter {
public:
    SectionExporter(std::shared_ptr<IExporter> inner, std::wstring section)
        : inner_(std::move(inner)), section_(std::move(section)) {}
    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) override {
        context.journal->BeginSection(section_);
        inner_->Export(std::move(writer), context);
    }
    std::wstring MissingContent() const override { return inner_->MissingContent(); }

private:
    std::shared_ptr<IExporter> inner_;
    std::wstring section_;
};

// The same for an importer, from its section's start on: the writes of EndImport count too.
class SectionImporter : public IImporter {
public:
    SectionImporter(std::shared_ptr<IImporter> inner, std::wstring section)
        : inner_(std::move(inner)), section_(std::move(section)) {}
    void SetLineSource(std::function<int()> line) override {
        inner_->SetLineSource(std::move(line));
    }
    void BeginImport(const MigrationContext& context, const Attributes& attributes) override {
        context.journal->BeginSection(section_);
        inner_->BeginImport(context, attributes);
    }
    void StartNode(const std::wstring& name, const Attributes& attributes) override {
        inner_->StartNode(name, attributes);
    }
    void Value(const std::wstring& text) override { inner_->Value(text); }
    void EndNode(const std::wstring& name) override { inner_->EndNode(name); }
    void EndImport() override { inner_->EndImport(); }
    std::wstring MissingContent() const override { return inner_->MissingContent(); }

private:
    std::shared_ptr<IImporter> inner_;
    std::wstring section_;
};

// What the sections had to leave out, each text after a blank; empty when nothing was.
template <typename Section>
std::wstring MissingContentOf(const std::vector<std::shared_ptr<Section>>& sections) {
    std::wstring missing;
    for (const std::shared_ptr<Section>& section : sections) {
        if (std::wstring text = section->MissingContent(); !text.empty()) {
            missing += L" " + text;
        }
    }
    return missing;
}

void Register(SaxWriter& writer, const wchar_t* path, std::shared_ptr<IExporter> exporter,
              std::vector<std::shared_ptr<IExporter>>& registered) {
    if (exporter) {
        registered.push_back(exporter);
        writer.RegisterExporter(
            path, std::make_shared<SectionExporter>(std::move(exporter), SectionName(path)));
    }
}

void Register(SaxReader& reader, const wchar_t* path, std::shared_ptr<IImporter> importer,
              std::vector<std::shared_ptr<IImporter>>& registered,
              std::vector<std::wstring>& paths) {
    if (importer) {
        registered.push_back(importer);
        paths.emplace_back(path);
        reader.RegisterImporter(
            path, std::make_shared<SectionImporter>(std::move(importer), SectionName(path)));
    }
}

// An empty element, or one whose exporter fills it while it is open.
void WriteSection(SaxWriter& writer, const wchar_t* name) {
    writer.StartNode(name, L"");
    writer.EndNode();
}

// A file that holds none of the selected sections (a wrong file, another program's XML) imports
// nothing of them and still ends as a success: the administrator must see why nothing changed.
void NameAbsentSections(const SaxReader& reader, const std::set<int>& selected,
                        const std::wstring& fileName) {
    struct Section {
        const wchar_t* path;
        const wchar_t* element;
        std::vector<std::pair<int, const wchar_t*>> keys;
    };
    const Section sections[] = {
        {OmsPath,
         OmsElement,
         {{SectionServer, L"-server"},
          {SectionClients, L"-clients"},
          {SectionPolicies, L"-policies"}}},
        {ClientPath, ClientElement, {{SectionUsers, L"-users"}}},
        {ICheckPath, ICheckElement, {{SectionICheck, L"-icheck"}}},
    };
    std::wstring absent;
    for (const Section& section : sections) {
        std::wstring keys;
        for (const auto& [id, key] : section.keys) {
            if (selected.count(id) != 0) {
                keys += (keys.empty() ? L"" : L", ") + std::wstring(key);
            }
        }
        if (keys.empty()) {
            continue;
        }
        if (reader.Began(section.path)) {
            return;
        }
        absent +=
            (absent.empty() ? L"" : L", ") + std::wstring(section.element) + L" (" + keys + L")";
    }
    if (!absent.empty()) {
        PrintWarning(L"The file \"" + fileName + L"\" holds none of the selected sections: " +
                     absent + L".");
    }
}

void PrintPassSummary(const InputParameters& parameters, const MigrationJournal& journal,
                      PassEnd end) {
    PassSummary summary;
    summary.kind = parameters.isExport ? PassKind::Export
                   : parameters.dryRun ? PassKind::DryRunImport
                                       : PassKind::Import;
    summary.end = end;
    summary.sections = journal.Tallies();
    summary.reportFile = parameters.reportFile;
    if (parameters.isExport) {
        summary.file = parameters.fileName;
        std::error_code error;
        const uintmax_t size =
            std::filesystem::file_size(Platform::WideToUtf8(parameters.fileName), error);
        if (!error) {
            summary.fileSize = size;
        }
    }
    for (const std::wstring& line : SummaryLines(summary)) {
        PrintMessage(line);
    }
}

// Which selected sections a damaged file left unimported, in the file's order: the one cut at the
// damage (with how many of its objects had been written, since some sections write as they read
// and others only at their end) and those that never began.
std::wstring WhatTheDamageLeftOut(const SaxReader& reader, const std::vector<std::wstring>& paths,
                                  const MigrationJournal& journal, bool dryRun) {
    std::wstring text;
    if (const std::wstring& open = reader.OpenSection(); !open.empty()) {
        const std::wstring name = SectionName(open.c_str());
        uint64_t written = 0;
        for (const SectionTally& tally : journal.Tallies()) {
            if (tally.section == name) {
                written = tally.Count(ObjectAction::Created) + tally.Count(ObjectAction::Updated) +
                          tally.Count(ObjectAction::Deleted);
            }
        }
        // The configuration sections are only read; the data sections write.
        text = open == MappingPath || open == CommonPath
                   ? FormatString(L"The damage lies inside the %ls section.", name.c_str())
                   : FormatString(
                         L"The damage lies inside the %ls section: %llu of its objects %ls "
                         L"before that line; the rest of it was not imported.",
                         name.c_str(), static_cast<unsigned long long>(written),
                         dryRun ? L"would have been written" : L"were written");
    }
    std::wstring notBegun;
    for (const std::wstring& path : paths) {
        if (!reader.Began(path)) {
            notBegun += (notBegun.empty() ? L"" : L", ") + SectionName(path.c_str());
        }
    }
    if (!notBegun.empty()) {
        text += (text.empty() ? L"" : L" ") +
                std::wstring(L"These sections from that line on were not imported: ") + notBegun +
                L".";
    } else if (text.empty()) {
        text = L"Every selected section had been read before that line.";
    }
    return text;
}

}  // namespace

void ExportData(const InputParameters& parameters, const StorageSession& session,
                IExportSections& sections, MigrationJournalPtr journal) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[ExportData] ");
    MigrationContext context = ExportContext(parameters, session, std::move(journal));
    SaxWriter writer(parameters.fileName, context);
    std::vector<std::shared_ptr<IExporter>> exporters;
    Register(writer, MappingPath, sections.Mapping(context), exporters);
    Register(writer, CommonPath, sections.Common(context), exporters);
    Register(writer, OmsPath, sections.Oms(context), exporters);
    Register(writer, ClientPath, sections.Client(context), exporters);
    Register(writer, ICheckPath, sections.ICheck(context), exporters);

    writer.StartNode(RootElement, L"");
    writer.StartNode(ConfigElement, L"");
    WriteSection(writer, MappingElement);
    WriteSection(writer, CommonElement);
    writer.EndNode();
    writer.StartNode(DataElement, L"");
    WriteSection(writer, OmsElement);
    WriteSection(writer, ClientElement);
    WriteSection(writer, ICheckElement);
    writer.EndNode();
    // Closing the root ends the document and closes the file; a failure to write is raised here.
    writer.EndNode();
    // An exporter that went on after a part of its section failed has said so on the console; the
    // file holds everything else, but the run must not end as a success.
    if (const std::wstring missing = MissingContentOf(exporters); !missing.empty()) {
        KV_RAISE_ERROR(L"ExportData", L"The export is incomplete." + missing +
                                          L" The rest of the file was written; the trace holds "
                                          L"the errors.");
    }
}

void ImportData(const InputParameters& parameters, const StorageSession& session,
                IImportSections& sections, MigrationJournalPtr journal) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[ImportData] ");
    MigrationContext context = ImportContext(parameters, session, std::move(journal));
    SaxReader reader(parameters.fileName, context);
    const std::set<int>& selected = context.sections;
    std::vector<std::shared_ptr<IImporter>> importers;
    std::vector<std::wstring> paths;
    Register(reader, MappingPath, sections.Mapping(context), importers, paths);
    Register(reader, CommonPath, sections.Common(context), importers, paths);
    if (selected.count(SectionServer) != 0 || selected.count(SectionClients) != 0 ||
        selected.count(SectionPolicies) != 0) {
        Register(reader, OmsPath, sections.Oms(context), importers, paths);
    }
    if (selected.count(SectionUsers) != 0) {
        Register(reader, ClientPath, sections.Client(context), importers, paths);
    }
    if (selected.count(SectionICheck) != 0) {
        Register(reader, ICheckPath, sections.ICheck(context), importers, paths);
    }
    reader.Resume();
    // What came before the damage has been imported; the rest of the file has not, and the run
    // must not end as a success.
    if (reader.Outcome() == ReadOutcome::Damaged) {
        std::wstring message = reader.DamagedDocumentError();
        if (reader.Damage() != XmlDamage::Empty) {
            message += L" " + WhatTheDamageLeftOut(reader, paths, *context.journal, context.dryRun);
        }
        KV_RAISE_ERROR(L"ImportData", message);
    }
    NameAbsentSections(reader, selected, parameters.fileName);
    // Everything the file holds has been read and the rest imported; what an importer had to
    // leave out keeps the run from ending as a success.
    if (const std::wstring missing = MissingContentOf(importers); !missing.empty()) {
        KV_RAISE_ERROR(L"ImportData", L"The import is incomplete." + missing);
    }
}

void RunPassStage(const InputParameters& parameters, const StorageSession& session,
                  IExportSections& exportSections, IImportSections& importSections,
                  MigrationJournalPtr journal) {
    const char* pass = parameters.isExport ? "export" : "import";
    if (!journal) {
        journal = std::make_shared<MigrationJournal>();
    }
    // Fatal output ends the process, and the XML reader gives it for an importer's failure
    // itself: the summary rides on it, so that the administrator sees how far the pass got.
    {
        FatalActionScope summary([&] { PrintPassSummary(parameters, *journal, PassEnd::Failed); });
        try {
            if (parameters.isExport) {
                ExportData(parameters, session, exportSections, journal);
            } else {
                ImportData(parameters, session, importSections, journal);
            }
        } catch (const std::exception& e) {
            PrintFatalException(FormatStringA("An exception occurred during %s: %%s", pass).c_str(),
                                e);
        } catch (const KvBase::CKvError& e) {
            PrintFatalError(e);
        } catch (...) {  // Every other failure of the pass ends the run in the same uniform way.
            PrintFatalError(std::string_view(
                FormatStringA("An unhandled exception occurred during %s.", pass)));
        }
    }
    PrintPassSummary(parameters, *journal, PassEnd::Completed);
}

void RunPassStage(const InputParameters& parameters, const StorageSession& session,
                  MigrationJournalPtr journal) {
    std::unique_ptr<IExportSections> exportSections = MakeExportSections();
    std::unique_ptr<IImportSections> importSections = MakeImportSections();
    RunPassStage(parameters, session, *exportSections, *importSections, std::move(journal));
}

}  // namespace KvMigration
