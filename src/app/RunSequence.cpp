#include "app/RunSequence.h"

#include "app/InputParameters.h"
#include "app/ObjectReport.h"
#include "app/Passes.h"
#include "app/StorageConnection.h"
#include "app/UndoFolder.h"
#include "base/KvError.h"
#include "base/Trace.h"
#include "diagnostics/Diagnostics.h"
#include "helper/ConsoleOutput.h"
#include "helper/ConsoleProgress.h"
#include "platform/Registry.h"

#include <clocale>
#include <csignal>
#include <exception>
#include <memory>
#include <string>

namespace KvMigration {
namespace {

// The texts a guarded stage prints for the three kinds of failure.
struct StageMessages {
    const char* standard;  // narrow format with one "%s" for what()
    const wchar_t* unhandled;
    bool usageFirst;
};

// Runs one stage; any failure prints its message through the fatal output and ends the process.
template <typename Stage>
auto Guarded(const StageMessages& messages, Stage&& stage) {
    try {
        return stage();
    } catch (const std::exception& e) {
        if (messages.usageFirst) {
            PrintUsage();
        }
        PrintFatalException(messages.standard, e);
    } catch (const KvBase::CKvError& e) {
        if (messages.usageFirst) {
            PrintUsage();
        }
        PrintFatalError(e);
    } catch (...) {  // Every other failure of a stage ends the run in the same uniform way.
        if (messages.usageFirst) {
            PrintUsage();
        }
        PrintFatalError(std::wstring_view(messages.unhandled));
    }
}

}  // namespace

int RunMigration(const std::vector<std::wstring>& arguments) {
    std::setlocale(LC_CTYPE, "");
    // A directory server that drops the connection must end in a directory error with its
    // message, not in a silent death by SIGPIPE on the next write to the socket.
    std::signal(SIGPIPE, SIG_IGN);
    KvBase::GetTrace();
    // A trace that cannot be written is said once on the console rather than lost in silence.
    ReportTraceProblemsOnConsole();
    // A registry file that is no file leaves every value missing; the trace says why.
    if (std::string problem = Platform::SystemRegistryProblem(); !problem.empty()) {
        KvBase::GetTrace().Trace(KvBase::TraceError, "%s", problem.c_str());
    }
    // The directory library's hooks and the crash catchers stay installed for the whole run.
    auto diagnostics = KvBase::InstallDiagnostics();

    InputParameters parameters;
    parameters = Guarded({"An exception occurred while reading input parameters: %s",
                          L"An unhandled exception occurred while reading input parameters.", true},
                         [&] {
                             EchoCommandLine(arguments);
                             return ReadInputParameters(arguments);
                         });

    // One account of the run's objects, seen by the sessions' writes and by the pass.
    auto journal = std::make_shared<MigrationJournal>();
    // Opened before the storage is touched, so that a report that cannot be written ends the run
    // before anything changes; from here on every end of the run ends the report too.
    std::shared_ptr<ObjectReport> report;
    if (!parameters.reportFile.empty()) {
        report = Guarded({"An exception occurred while opening the report file: %s",
                          L"An unhandled exception occurred while opening the report file.", false},
                         [&] { return ObjectReport::Open(parameters); });
        journal->AddSink(report);
    }
    FatalActionScope reportOnFailure([report, journal] {
        if (report) {
            report->Finish(255, journal->Tallies());
        }
    });
    journal->AddSink(std::make_shared<ConsoleProgress>(Platform::SystemConsole()));
    const StorageClients clients =
        Guarded({"An exception occurred while opening the undo folder: %s",
                 L"An unhandled exception occurred while opening the undo folder.", false},
                [&] { return StorageClients(parameters, journal); });
    // A run that fails after changes were made still gets its undo files in their final order.
    FatalActionScope undoOnFailure([undo = clients.Undo()] {
        if (undo) {
            try {
                undo->Finish();
            } catch (const KvBase::CKvError& e) {
                WriteConsoleError(e.Description() + L"\n");
            }
        }
    });
    StorageSession storage =
        Guarded({"An exception occurred while connecting to storage: %s",
                 L"An unhandled exception occurred while connecting to storage.", false},
                [&] {
                    StorageSession session = GetStorageSession(parameters, clients);
                    CheckSchemaVersion(parameters, session);
                    return session;
                });

    // COM has no counterpart here: the XML engine needs no initialisation.
    RunPassStage(parameters, storage, journal);
    // Every change is made: the undo files get their final order, and a reversal that could not
    // be saved fails the run even where a section went on after it.
    Guarded({"An exception occurred while writing the undo files: %s",
             L"An unhandled exception occurred while writing the undo files.", false},
            [&] {
                if (clients.Undo()) {
                    clients.Undo()->Finish();
                }
            });
    if (report) {
        report->Finish(0, journal->Tallies());
    }

    storage.adSession.reset();
    storage.ldsSession.reset();
    storage.ldsGcSession.reset();

    if (parameters.dryRun) {
        PrintMessage(L"Dry run: nothing was written to the directory.");
    }
    PrintMessage(L"The program was successfully completed.");
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"End.");
    return 0;
}

}  // namespace KvMigration
