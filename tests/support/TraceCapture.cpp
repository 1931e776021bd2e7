#include "support/TraceCapture.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>

#include "base/Trace.h"
#include "platform/CodePage.h"
#include "support/ScopedTempDir.h"

namespace KvTest {
namespace {

std::unique_ptr<ScopedTempDir>& TraceFolder() {
    static std::unique_ptr<ScopedTempDir> folder;
    return folder;
}

std::string LogPath() {
    return TraceFolder()->File("KvMigrationUtil.log");
}

}  // namespace

size_t TraceLogSize() {
    return ReadFile(LogPath()).size();
}

std::wstring TraceLogSince(size_t offset) {
    std::string bytes = ReadFile(LogPath());
    return Platform::CodePageToWide(offset < bytes.size() ? bytes.substr(offset) : std::string(),
                                    Platform::CodePage1251);
}

}  // namespace KvTest

// Templates and inflated blobs are ANSI text; the tests take UTF-8 as the ANSI code page.
int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    auto& folder = KvTest::TraceFolder();
    folder = std::make_unique<KvTest::ScopedTempDir>();
    const std::string registry = folder->File("registry.reg");
    KvTest::WriteFile(registry,
                      "Windows Registry Editor Version 5.00\r\n\r\n"
                      "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\kvcc0\\Trace]\r\n"
                      "\"TracePath\"=\"" +
                          folder->Path() + "\"\r\n");
    setenv("KV_REGISTRY_FILE", registry.c_str(), 1);
    KvBase::GetTrace();
    testing::InitGoogleTest(&argc, argv);
    int status = RUN_ALL_TESTS();
    folder.reset();
    return status;
}
