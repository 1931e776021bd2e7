#include "support/DirectoryContract.h"
#include "support/FakeDirectory.h"

namespace KvTest {
namespace {

struct FakeWorld {
    static bool Available() { return true; }
    static const char* Unavailable() { return ""; }

    FakeWorld() { session.Put(Base(), {{L"objectClass", LdapHelper::attr_value(L"container")}}); }
    LdapHelper::session& Session() { return session; }
    static std::wstring Base() { return L"CN=Contract Scratch,DC=korvant"; }

    FakeSession session;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Fake, DirectoryContract, FakeWorld);

}  // namespace
}  // namespace KvTest
