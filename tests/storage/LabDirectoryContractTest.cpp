#include "support/DirectoryContract.h"
#include "support/Lab.h"

namespace KvTest {
namespace {

// A scratch container in the target pair's security-domain instance, made fresh for each test
// and removed with everything in it afterwards.
struct LabWorld {
    static bool Available() { return Lab::Get().Up(); }
    static const char* Unavailable() {
        return "The directory lab is not up. Start it with lab/up.";
    }

    LabWorld() : session(Lab::Get().Open(Lab::Get().Value("KV_LAB_LDS_HOST"), 51000, 51001)) {
        if (session->open_object(Base().c_str(), {L"cn"})) {
            session->remove_object(Base().c_str());
        }
        session->add_object(Base().c_str(), L"container")->commit();
    }
    ~LabWorld() {
        try {
            session->remove_object(Base().c_str());
        } catch (const std::exception&) {
            // Left behind; the next test removes it first.
        }
    }
    LdapHelper::session& Session() { return *session; }
    static std::wstring Base() { return L"CN=Contract Scratch,DC=korvant"; }

    LdapHelper::session_ptr session;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Lab, DirectoryContract, LabWorld);

}  // namespace
}  // namespace KvTest
