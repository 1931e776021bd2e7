#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "helper/Identifiers.h"
#include "storage/LdapStorage.h"
#include "storage/LdapValue.h"
#include "storage/ObjectFilter.h"

#include <algorithm>
#include <cwctype>
#include <map>

namespace KvMigration {
namespace {

const LdapHelper::attr_list& AdObjectAttributes() {
    static const LdapHelper::attr_list attributes = {L"dNSHostName", L"canonicalName", L"name"};
    return attributes;
}

// The SID text as a directory writes it, so that an identifier and the objectSid of its
// computer compare equal whatever letter case or number form the identifier has.
std::wstring CanonicalSid(const std::wstring& text) {
    try {
        return SidToString(StringToSid(text));
    } catch (const KvBase::CKvError&) {
        return text;
    }
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
    TakeAdNames(kind, *found.front(), object);
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

std::vector<LdapHelper::object_list> CLdapStorage::FindAdObjects(
    ObjectKind kind, const std::vector<std::wstring>& ids) const {
    const bool bySid = kind == KindServer || kind == KindService;
    const wchar_t* key = bySid ? L"objectSid" : L"objectGUID";
    LdapHelper::attr_list attributes = AdObjectAttributes();
    attributes.push_back(key);
    std::vector<LdapHelper::object_list> found(ids.size());
    for (size_t first = 0; first < ids.size(); first += AdLookupChunk) {
        const size_t last = std::min(ids.size(), first + AdLookupChunk);
        std::wstring filter = L"(|";
        for (size_t i = first; i < last; ++i) {
            filter += L"(";
            filter += key;
            filter += L"=";
            filter += bySid ? LdapHelper::filter_value(ids[i], true)
                            : LdapHelper::escape_filter_bytes(GuidFromString(ids[i]));
            filter += L")";
        }
        filter += L")";
        // Entries by the identifier they answer; an identifier may be asked for twice.
        std::map<std::wstring, LdapHelper::object_list> byId;
        for (const LdapHelper::object_ptr& entry : adSession_->search(
                 LdapHelper::query(L"", LdapHelper::SCOPE_SUBTREE, filter), attributes)) {
            byId[StringFromLdapValue(bySid ? AttributeType::Sid : AttributeType::Guid,
                                     entry->get_attr(key))]
                .push_back(entry);
        }
        for (size_t i = first; i < last; ++i) {
            auto match = byId.find(bySid ? CanonicalSid(ids[i]) : ids[i]);
            if (match != byId.end()) {
                found[i] = match->second;
            }
        }
    }
    return found;
}

void CLdapStorage::TakeAdNames(ObjectKind kind, const LdapHelper::object& adObject,
                               CLdapObject& object) {
    object.name = FirstText(adObject.get_attr(kind == KindContainer ? L"name" : L"dNSHostName"));
    object.canonicalName = FirstText(adObject.get_attr(L"canonicalName"));
}

std::vector<CLdapObject> CLdapStorage::GetLdapObjects(const CObjectSchema& schema,
                                                      NotFoundMode mode) const {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[CLdapStorage::GetLdapObjects] ");
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Object type: %ls",
                             GetObjectClassName(schema.kind).c_str());

    // In Active Directory a service is the computer object itself: its names come with it.
    const bool namesInEntry = !isLds_ && schema.kind == KindService;
    LdapHelper::attr_list attributes = ObjectAttributes(schema);
    if (namesInEntry) {
        for (const std::wstring& name : AdObjectAttributes()) {
            AddAttribute(attributes, name);
        }
    }
    LdapHelper::object_list found =
        GetObjectSession()->search(LdapHelper::query(ObjectSearchRoot(), LdapHelper::SCOPE_SUBTREE,
                                                     ObjectFilter(schema, L"", serverSid_)),
                                   attributes);

    std::vector<CLdapObject> candidates;
    candidates.reserve(found.size());
    for (const LdapHelper::object_ptr& entry : found) {
        CLdapObject object = MakeLdapObject(schema, entry);
        if (schema.kind == KindServer && !SameSid(object.id, serverSid_)) {
            continue;
        }
        candidates.push_back(std::move(object));
    }
    if (schema.kind == KindPolicy) {
        return candidates;
    }

    // One look-up per chunk of identifiers instead of one per object; the count rule still
    // holds for each object, and warnings come in the order of the objects.
    std::vector<LdapHelper::object_list> adObjects;
    if (!namesInEntry) {
        std::vector<std::wstring> ids;
        ids.reserve(candidates.size());
        for (const CLdapObject& object : candidates) {
            ids.push_back(object.id);
        }
        adObjects = FindAdObjects(schema.kind, ids);
    }
    std::vector<CLdapObject> objects;
    objects.reserve(candidates.size());
    for (size_t i = 0; i < candidates.size(); ++i) {
        CLdapObject& object = candidates[i];
        if (namesInEntry) {
            TakeAdNames(schema.kind, *object.entry, object);
        } else if (adObjects[i].size() == 1) {
            TakeAdNames(schema.kind, *adObjects[i].front(), object);
        } else {
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
