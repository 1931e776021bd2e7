// The Client section alone, as the program runs it, for bench/client-bench.sh: the export of the
// source pair's global catalogue into a migration file, or the import of such a file into the
// target pair's security domain. One operation per run, so that the script times it and reads its
// peak memory the same way as ldapsearch and ldapadd (bench/measure). The trace is written as the
// program writes it (the lab's registry file names its folder), since it is part of the cost. The
// script holds the lab's tests.lock for the whole benchmark, so this program reads the lab's
// settings itself rather than through KvTest::Lab, which would wait for that lock.
// Usage: client_bench export|import <file>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "base/KvError.h"
#include "diagnostics/ClientException.h"
#include "platform/CodePage.h"
#include "sections/client/ClientExporter.h"
#include "sections/client/ClientImporter.h"
#include "support/LabEnv.h"
#include "xml/SaxReader.h"
#include "xml/SaxWriter.h"
#include "xml/SectionPaths.h"

namespace {

using namespace KvMigration;

// A session to the lab's AD LDS host as the lab administrator, with StartTLS as the program opens
// it.
LdapHelper::session_ptr Open(const KvTest::LabEnv& env, int32_t port) {
    LdapHelper::server_cfg cfg;
    cfg.host = Platform::Utf8ToWide(env.Get("KV_LAB_LDS_HOST"));
    cfg.port = port;
    cfg.ssl_port = port + 1;
    return LdapHelper::open_session(cfg, false,
                                    Platform::Utf8ToWide(env.Get("KV_LAB_USER")).c_str(),
                                    Platform::Utf8ToWide(env.Get("KV_LAB_PASSWORD")).c_str(), -1);
}

MigrationContext Context(const KvTest::LabEnv& env) {
    MigrationContext context;
    context.serverSid = Platform::Utf8ToWide(env.Get("KV_LAB_OMS_SID"));
    return context;
}

void Export(const KvTest::LabEnv& env, const std::wstring& file) {
    MigrationContext context = Context(env);
    context.storage = {nullptr, true, nullptr, Open(env, 50002)};
    SaxWriter writer(file, context);
    writer.RegisterExporter(ClientPath, std::make_shared<ClientExporter>());
    writer.StartNode(RootElement, L"");
    writer.StartNode(DataElement, L"");
    writer.StartNode(ClientElement, L"");
    writer.EndNode();
    writer.EndNode();
    writer.EndNode();
}

void Import(const KvTest::LabEnv& env, const std::wstring& file) {
    MigrationContext context = Context(env);
    context.storage = {nullptr, true, Open(env, 51000), nullptr};
    SaxReader reader(file, context);
    reader.RegisterImporter(ClientPath, std::make_shared<ClientImporter>());
    reader.Resume();
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");
    const std::string operation = argc == 3 ? argv[1] : "";
    if (operation != "export" && operation != "import") {
        std::fprintf(stderr, "usage: client_bench export|import <file>\n");
        return 2;
    }
    const KvTest::LabEnv env;
    if (!env.Loaded()) {
        std::fprintf(stderr, "the directory lab is not up (run lab/up)\n");
        return 1;
    }
    // libldap trusts the lab's CA, and the trace goes where the lab's registry file says.
    for (const auto& [key, value] : env.All()) {
        if (key != "KV_LAB_PASSWORD") {
            setenv(key.c_str(), value.c_str(), 1);
        }
    }
    // As in the program: directory failures arrive as the error object.
    KvBase::CClientException hook;
    LdapHelper::set_exception_handler(&hook);
    KvBase::CTraceHandler traceHook;
    LdapHelper::set_trace_handler(&traceHook);
    try {
        const std::wstring file = Platform::Utf8ToWide(argv[2]);
        if (operation == "export") {
            Export(env, file);
        } else {
            Import(env, file);
        }
    } catch (const KvBase::CKvError& e) {
        std::fprintf(stderr, "%s\n", Platform::WideToUtf8(e.Description()).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
