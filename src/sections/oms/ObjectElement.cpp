#include "sections/oms/ObjectElement.h"

namespace KvMigration {

void StartObjectElement(ISaxWriter& writer, const CObjectData& record) {
    writer.StartNode(ObjectElementName(record.kind), L"");
    if (!record.id.empty()) {
        writer.WriteAttribute(L"id", record.id);
    }
    if (!record.name.empty()) {
        writer.WriteAttribute(L"name", record.name);
    }
    if (record.kind == KindPolicy) {
        auto source = record.attributes.find(L"source");
        writer.WriteAttribute(L"source", source == record.attributes.end() || source->second.isMulti
                                             ? std::wstring()
                                             : source->second.text);
    }
    for (const auto& [name, value] : record.attributes) {
        if (value.IsEmpty()) {
            continue;
        }
        if (!value.isMulti) {
            writer.StartNode(name, value.text);
            writer.EndNode();
            continue;
        }
        writer.StartNode(name, L"");
        for (const std::wstring& text : value.texts) {
            writer.StartNode(L"S", text);
            writer.EndNode();
        }
        writer.EndNode();
    }
}

}  // namespace KvMigration
