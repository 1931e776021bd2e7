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

}  // namespace

BENCHMARK_MAIN();
