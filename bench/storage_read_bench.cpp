// Reading the services of the source storage (one search in the global catalogue, then one
// Active Directory look-up per service, as the product reads them) next to ldapsearch reading
// the same entries with one search per directory. Needs the lab with services seeded by
// `lab/seed-bench <N>`. Usage: storage_read_bench [runs]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "CountingSession.h"
#include "platform/CodePage.h"
#include "storage/LdapStorage.h"
#include "support/Lab.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Single quotes around every argument; the lab's values hold no single quote.
std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

struct SearchRun {
    long entries = 0;
    double seconds = 0;
};

// One ldapsearch over StartTLS, as the library connects; the password comes from the lab's
// password file, so it never appears on a command line.
SearchRun LdapSearch(const KvTest::LabEnv& env, const std::string& uri, const std::string& base,
                     const std::string& filter, const std::vector<std::string>& attributes) {
    std::string command = "ldapsearch -LLL -o ldif-wrap=no -ZZ -x -H " + Quote(uri) + " -D " +
                          Quote(env.Get("KV_LAB_USER")) + " -y " +
                          Quote(env.Get("KV_LAB_PASSWORD_FILE")) + " -b " + Quote(base) +
                          " -s sub " + Quote(filter);
    for (const std::string& attribute : attributes) {
        command += " " + attribute;
    }
    SearchRun run;
    Clock::time_point start = Clock::now();
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        std::perror("popen");
        std::exit(1);
    }
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        if (std::string_view(line).substr(0, 4) == "dn: ") {
            ++run.entries;
        }
    }
    int status = pclose(pipe);
    run.seconds = Seconds(Clock::now() - start);
    if (status != 0) {
        std::fprintf(stderr, "ldapsearch failed (status %d)\n", status);
        std::exit(1);
    }
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace KvMigration;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const KvTest::Lab& lab = KvTest::Lab::Get();
    if (!lab.Up()) {
        std::fprintf(stderr, "the directory lab is not up (run lab/up)\n");
        return 1;
    }
    const KvTest::LabEnv& env = lab.Env();

    StorageSession real = lab.LdsStorage(50000);
    auto ad = std::make_shared<KvBench::CountingSession>(real.adSession);
    auto sd = std::make_shared<KvBench::CountingSession>(real.ldsSession);
    auto gc = std::make_shared<KvBench::CountingSession>(real.ldsGcSession);
    CLdapStorage storage({ad, true, sd, gc}, lab.OmsSid());
    CLdapSchema schema(storage.GetSchemaVersion(), StorageKind::Lds, SchemaUse::Source);
    const CObjectSchema& services = *schema.GetObjectSchema(KindService);

    double best = 0;
    double bestCpu = 0;
    size_t objects = 0;
    long requests = 0;
    for (int i = 0; i < runs; ++i) {
        ad->Reset();
        sd->Reset();
        gc->Reset();
        Clock::time_point start = Clock::now();
        std::clock_t cpuStart = std::clock();
        objects = storage.GetLdapObjects(services, NotFoundMode::Silent).size();
        double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        double seconds = Seconds(Clock::now() - start);
        requests = ad->Requests() + sd->Requests() + gc->Requests();
        if (i == 0 || seconds < best) {
            best = seconds;
            bestCpu = cpu;
        }
    }
    if (objects == 0) {
        std::fprintf(stderr, "no services found; seed them with lab/seed-bench <N>\n");
        return 1;
    }

    // The same entries: the services in the global catalogue, then their computers in Active
    // Directory, each with one request.
    const std::string sid = env.Get("KV_LAB_OMS_SID");
    std::vector<std::string> serviceAttributes;
    for (const AttributePtr& attribute : services.attributes) {
        serviceAttributes.push_back(Platform::WideToUtf8(attribute->Name()));
    }
    serviceAttributes.push_back("orvexKVObjectSid");
    serviceAttributes.push_back("description");
    double searchBest = 0;
    long searchEntries = 0;
    for (int i = 0; i < runs; ++i) {
        SearchRun lds = LdapSearch(
            env, "ldap://" + env.Get("KV_LAB_LDS_HOST") + ":50002",
            Platform::WideToUtf8(storage.SecurityDomainDn()),
            "(&(objectClass=computer)(&(orvexKVComputerfAgent=TRUE)(orvexKVComputerOMSSID=" + sid +
                ")))",
            serviceAttributes);
        SearchRun dc =
            LdapSearch(env, "ldap://" + env.Get("KV_LAB_AD"), env.Get("KV_LAB_AD_NC"),
                       "(objectClass=computer)", {"dNSHostName", "canonicalName", "name"});
        double seconds = lds.seconds + dc.seconds;
        searchEntries = lds.entries;
        if (i == 0 || seconds < searchBest) {
            searchBest = seconds;
        }
    }

    const double perObject = static_cast<double>(requests) / static_cast<double>(objects);
    const double searchPerObject = 2.0 / static_cast<double>(searchEntries);
    std::printf("services read: %zu (ldapsearch: %ld), best of %d runs\n", objects, searchEntries,
                runs);
    std::printf(
        "GetLdapObjects: %.3f s, %.0f objects/s, %.3f LDAP requests/object, client CPU %.0f "
        "us/object\n",
        best, static_cast<double>(objects) / best, perObject,
        bestCpu * 1e6 / static_cast<double>(objects));
    std::printf("ldapsearch:     %.3f s, %.0f objects/s, %.5f LDAP requests/object\n", searchBest,
                static_cast<double>(searchEntries) / searchBest, searchPerObject);
    std::printf("ratio GetLdapObjects/ldapsearch: time %.2f, requests %.1f\n", best / searchBest,
                perObject / searchPerObject);
    return 0;
}
