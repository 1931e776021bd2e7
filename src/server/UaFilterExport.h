#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "xml/Exporter.h"
#include "xml/Importer.h"

namespace KvMigration {

// Copies the UAFilter element of the management server's configuration file, with everything
// below it, as indented XML text into the element `orvexKVOMSUAFilter` of a section writer.
// Registered for the path "ServerConfiguration/Properties/ServerSessionSettings/UAFilter".
class UaFilterExport : public IImporter {
public:
    explicit UaFilterExport(std::shared_ptr<ISaxWriter> writer);

    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring& text) override;
    void EndNode(const std::wstring& name) override;
    void EndImport() override;

    // Whether the filter has been written to the section writer.
    bool Written() const { return written_; }

private:
    struct PendingElement {
        std::wstring name;
        std::wstring text;
        Attributes attributes;
    };
    enum class Children { With, Without };

    void WritePending(Children children);
    void Indent();

    std::shared_ptr<ISaxWriter> writer_;
    std::optional<PendingElement> pending_;
    std::wstring output_;
    std::vector<std::wstring> stack_;
    bool written_ = false;
};

inline constexpr const wchar_t* UaFilterPath =
    L"ServerConfiguration/Properties/ServerSessionSettings/UAFilter";

// Reads the configuration file and writes its filter through the writer, which has the `Server`
// element open. Raises "File %ls is not found" for a missing file and the reader's description
// of the damage when the file breaks off before the filter is complete. A file without the
// element writes nothing.
void SaveUaFilter(std::shared_ptr<ISaxWriter> writer, const std::wstring& configPath);

}  // namespace KvMigration
