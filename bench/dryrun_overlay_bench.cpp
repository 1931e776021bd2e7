// How the dry run's account of the dropped writes grows with the import: every object is made
// once and looked for by its name once, as the client import does.

#include <benchmark/benchmark.h>

#include <string>

#include "app/DryRunOverlay.h"

namespace {

constexpr int kAdd = LdapHelper::LDAP_MODOP_ADD | LdapHelper::LDAP_MODOP_BVALUES;

void MakeAndFindEveryUser(benchmark::State& state) {
    const int64_t count = state.range(0);
    const std::string users = "CN=Users,CN=SD";
    for (auto _ : state) {
        KvMigration::DryRunOverlay overlay;
        size_t found = 0;
        for (int64_t i = 0; i < count; ++i) {
            const std::string name = "user" + std::to_string(i);
            LdapHelper::SearchRequest request;
            request.base = users;
            request.scope = 2;
            request.filter = "(&(objectClass=user)(cn=" + name + "))";
            LdapHelper::SearchResult result;
            overlay.Adjust(request, result);
            found += result.entries.size();
            overlay.Add("CN=" + name + "," + users,
                        {{kAdd, "objectClass", {"user"}},
                         {kAdd, "cn", {name}},
                         {kAdd, "orvexKVUserPasswordHash", {std::string(512, 'h')}}});
            overlay.Adjust(request, result);
            found += result.entries.size();
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetComplexityN(count);
}
BENCHMARK(MakeAndFindEveryUser)->Arg(1000)->Arg(4000)->Arg(16000)->Arg(64000)->Complexity();

// A page of N entries the server returns, seen through an account that has dropped one write
// elsewhere, as every search of a dry run after its first write is.
void AdjustAServerPage(benchmark::State& state) {
    const int64_t count = state.range(0);
    const std::string users = "CN=Users,CN=SD";
    KvMigration::DryRunOverlay overlay;
    overlay.Add("CN=Other,CN=SD", {{kAdd, "objectClass", {"container"}}});
    LdapHelper::SearchRequest request;
    request.base = users;
    request.scope = 1;
    request.filter = "(objectClass=user)";
    LdapHelper::SearchResult page;
    for (int64_t i = 0; i < count; ++i) {
        page.entries.push_back({"CN=User" + std::to_string(i) + "," + users, {{"cn", {"u"}}}});
    }
    for (auto _ : state) {
        LdapHelper::SearchResult result = page;
        overlay.Adjust(request, result);
        benchmark::DoNotOptimize(result.entries.size());
    }
    state.SetComplexityN(count);
}
BENCHMARK(AdjustAServerPage)->Arg(500)->Arg(2000)->Arg(8000)->Complexity();

}  // namespace

BENCHMARK_MAIN();
