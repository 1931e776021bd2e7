#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "helper/ObjectData.h"
#include "sections/interfaces/ICommonInfo.h"
#include "sections/interfaces/IObjectMapper.h"
#include "sections/oms/ObjectProcessors.h"
#include "xml/Importer.h"

namespace KvMigration {

// Reads the Oms section into records and, at its end, binds them to the target through the
// object processors and writes what the selection asks for: servers ("-server"), client
// computers ("-clients") and the policies with their containers ("-policies").
class OmsImporter : public IImporter {
public:
    OmsImporter(std::shared_ptr<IObjectMapper> mapper, std::shared_ptr<ICommonInfo> commonInfo,
                std::set<int> sections);

    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    // Each raises "The import file schema is broken." for a structure the section does not have;
    // the reader drops those failures and reading goes on in the state of before.
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    void Value(const std::wstring& text) override;
    void EndNode(const std::wstring& name) override;
    void EndImport() override;

    // The records read so far, in file order.
    const std::vector<ObjectDataPtr>& Records() const { return records_; }

private:
    enum State { Outside = 0, InObject = 1, InAttribute = 2, InString = 3 };

    void StartObject(const std::wstring& name, const Attributes& attributes);
    void EndObject(const std::wstring& name);
    void EndAttribute(const std::wstring& name);
    void ImportObjects(ILdapData& data, const ImportBuckets& buckets);

    std::shared_ptr<IObjectMapper> mapper_;
    std::shared_ptr<ICommonInfo> commonInfo_;
    std::set<int> sections_;
    MigrationContext context_;
    State state_ = Outside;
    ObjectDataPtr record_;
    std::wstring attribute_;
    std::wstring single_;
    std::vector<std::wstring> list_;
    std::vector<ObjectDataPtr> records_;
};

}  // namespace KvMigration
