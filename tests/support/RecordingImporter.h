#pragma once

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "xml/Importer.h"

namespace KvTest {

// Writes every call it receives as one line of a shared log, such as
// "Common: StartNode(SchemaVersion major=7 minor=16)", and throws where a test asks it to.
class RecordingImporter : public KvMigration::IImporter {
public:
    RecordingImporter(std::wstring label, std::shared_ptr<std::vector<std::wstring>> log)
        : label_(std::move(label)), log_(std::move(log)) {}

    // "StartNode(Bad)", "Value(oops)", "EndNode(Bad)": the call that throws after being logged.
    std::set<std::wstring> throwOn;

    void BeginImport(const KvMigration::MigrationContext&,
                     const KvMigration::Attributes& attributes) override {
        Log(L"BeginImport(" + Join(attributes) + L")");
    }
    void StartNode(const std::wstring& name, const KvMigration::Attributes& attributes) override {
        std::wstring joined = Join(attributes);
        Log(L"StartNode(" + name + (joined.empty() ? L"" : L" " + joined) + L")");
    }
    void Value(const std::wstring& text) override { Log(L"Value(" + text + L")"); }
    void EndNode(const std::wstring& name) override { Log(L"EndNode(" + name + L")"); }
    void EndImport() override { Log(L"EndImport()"); }

private:
    static std::wstring Join(const KvMigration::Attributes& attributes) {
        std::wstring text;
        for (const auto& [name, value] : attributes) {
            text += (text.empty() ? L"" : L" ") + name + L"=" + value;
        }
        return text;
    }

    void Log(const std::wstring& call) {
        log_->push_back(label_ + L": " + call);
        if (throwOn.count(call) != 0) {
            throw std::runtime_error("importer failure");
        }
    }

    std::wstring label_;
    std::shared_ptr<std::vector<std::wstring>> log_;
};

}  // namespace KvTest
