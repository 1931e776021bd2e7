#include "icheck/KvsSequence.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "icheck/CaseFold.h"
#include "icheck/ProductLocale.h"
#include "platform/CodePage.h"
#include "xml/XmlDocument.h"

#include <cstdlib>

namespace KvMigration {
namespace {

constexpr wchar_t kFunction[] = L"CKVSSequence::CKVSSequence";
constexpr uint32_t kEnvironmentVariableNotFound = 203;

}  // namespace

std::wstring InstallModelPath(const ICheckPlatform& platform) {
    const char* folder = std::getenv("SecurityServerDir");
    if (folder == nullptr) {
        KV_RAISE_ERROR_CODE(kFunction, kEnvironmentVariableNotFound);
    }
    return Platform::Utf8ToWide(folder) + CProductLocale() + L"/" + platform.installModelFile;
}

std::wstring CKVSSequence(const std::wstring& taskName, const ICheckPlatform& platform) {
    KvBase::ITrace& trace = KvBase::GetTrace();
    trace.Trace(KvBase::TraceInfo, L"CKVSSequence, task name %ls", taskName.c_str());
    const std::wstring path = InstallModelPath(platform);
    trace.Trace(KvBase::TraceInfo, L"CKVSSequence, xml file path %ls", path.c_str());
    const XmlDocument document = XmlDocument::Load(path, kFunction);
    for (const XmlElement& tasks : document.Root().Children()) {
        if (!EqualsIgnoreCase(tasks.Name(), L"Tasks")) {
            continue;
        }
        trace.Trace(KvBase::TraceInfo, L"CKVSSequence, tasks node found");
        for (const XmlElement& task : tasks.Children()) {
            std::optional<std::wstring> name = task.Attribute(L"name");
            if (!name || !EqualsIgnoreCase(*name, taskName)) {
                continue;
            }
            trace.Trace(KvBase::TraceInfo, L"CKVSSequence, corresponding task found");
            trace.Trace(KvBase::TraceInfo, L"CKVSSequence, task contains %d childs",
                        static_cast<int>(task.Children().size()));
            for (const XmlElement& child : task.Children()) {
                if (EqualsIgnoreCase(child.Name(), L"Sequence")) {
                    trace.Trace(KvBase::TraceInfo, L"CKVSSequence, scenario node found");
                    std::wstring text = child.Text();
                    trace.Trace(KvBase::TraceInfo, L"CKVSSequence, scenario found");
                    return text;
                }
            }
        }
    }
    return std::wstring();
}

}  // namespace KvMigration
