#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "storage/LdapStorage.h"
#include "storage/LdapValue.h"
#include "storage/ObjectFilter.h"

#include <cwctype>

namespace KvMigration {
namespace {

const LdapHelper::attr_list& AdObjectAttributes() {
    static const LdapHelper::attr_list attributes = {L"dNSHostName", L"canonicalName", L"name"};
    return attributes;
}

bool SameSid(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(a[i]) != std::towupper(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

MigrationMarks ReadMigrationMarks(const std::wstring& description) {
    MigrationMarks marks;
    marks.objectMigrated = description.find(L"objectMigrated") != std::wstring::npos;
    marks.policyMigrated = description.find(L"policyMigrated") != std::wstring::npos;
    return marks;
}

LdapHelper::attr_list CLdapStorage::ObjectAttributes(const CObjectSchema& schema) {
    LdapHelper::attr_list attributes;
    attributes.reserve(schema.attributes.size() + 2);
    for (const AttributePtr& attribute : schema.attributes) {
        AddAttribute(attributes, attribute->Name());
    }
    AddAttribute(attributes, schema.keyAttribute->Name());
    AddAttribute(attributes, L"description");
    return attributes;
}

CLdapObject CLdapStorage::MakeLdapObject(const CObjectSchema& schema,
                                         const LdapHelper::object_ptr& entry) const {
    CLdapObject object;
    object.entry = entry;
    object.id = StringFromLdapValue(schema.keyAttribute->Type(),
                                    entry->get_attr(schema.keyAttribute->Name()));
    MigrationMarks marks = ReadMigrationMarks(FirstText(entry->get_attr(L"description")));
    object.objectMigrated = marks.objectMigrated;
    object.policyMigrated = marks.policyMigrated;
    return object;
}

bool CLdapStorage::CompleteFromAd(ObjectKind kind, CLdapObject& object) const {
    LdapHelper::object_list found = adSession_->search(
        LdapHelper::query(L"", LdapHelper::SCOPE_SUBTREE, AdFilter(kind, object.id)),
        AdObjectAttributes());
    if (found.size() != 1) {
        return false;
    }
    const LdapHelper::object_ptr& adObject = found.front();
    object.name = FirstText(adObject->get_attr(kind == KindContainer ? L"name" : L"dNSHostName"));
    object.canonicalName = FirstText(adObject->get_attr(L"canonicalName"));
    return true;
}

LdapObjectPtr CLdapStorage::GetLdapObject(const CObjectSchema& schema,
                                          const std::wstring& id) const {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapStorage::GetLdapObject] ");
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Object type: %ls, id: %ls",
                             GetObjectClassName(schema.kind).c_str(), id.c_str());

    LdapHelper::object_list found =
        GetObjectSession()->search(LdapHelper::query(ObjectSearchRoot(), LdapHelper::SCOPE_SUBTREE,
                                                     ObjectFilter(schema, id, serverSid_)),
                                   ObjectAttributes(schema));
    if (found.size() != 1) {
        return nullptr;
    }
    auto object = std::make_shared<CLdapObject>(MakeLdapObject(schema, found.front()));
    if (schema.kind != KindPolicy && !CompleteFromAd(schema.kind, *object)) {
        KV_RAISE_ERROR(
            L"CLdapStorage::GetLdapObject",
            FormatString(L"Object %ls not found in Active Directory", object->id.c_str()));
    }
    return object;
}

std::vector<CLdapObject> CLdapStorage::GetLdapObjects(const CObjectSchema& schema,
                                                      NotFoundMode mode) const {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapStorage::GetLdapObjects] ");
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Object type: %ls",
                             GetObjectClassName(schema.kind).c_str());

    LdapHelper::object_list found =
        GetObjectSession()->search(LdapHelper::query(ObjectSearchRoot(), LdapHelper::SCOPE_SUBTREE,
                                                     ObjectFilter(schema, L"", serverSid_)),
                                   ObjectAttributes(schema));

    std::vector<CLdapObject> objects;
    objects.reserve(found.size());
    for (const LdapHelper::object_ptr& entry : found) {
        CLdapObject object = MakeLdapObject(schema, entry);
        if (schema.kind == KindServer && !SameSid(object.id, serverSid_)) {
            continue;
        }
        if (schema.kind != KindPolicy && !CompleteFromAd(schema.kind, object)) {
            std::wstring message =
                FormatString(L"Object %ls not found in Active Directory", object.id.c_str());
            if (mode == NotFoundMode::Raise) {
                KV_RAISE_ERROR(L"CLdapStorage::GetLdapObjects", message);
            }
            if (mode == NotFoundMode::Warn) {
                PrintWarning(message);
            }
            continue;
        }
        objects.push_back(std::move(object));
    }
    return objects;
}

}  // namespace KvMigration
