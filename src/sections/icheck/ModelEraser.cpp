#include "sections/icheck/ModelEraser.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "icheck/CaseFold.h"
#include "icheck/GroupEntryBody.h"
#include "icheck/ICheckReport.h"
#include "icheck/RestoreFile.h"
#include "sections/icheck/ICheckJournal.h"

#include <cwctype>

namespace KvMigration {
namespace {

// What a restore file keeps of an entry: what the product writes on its model's objects. The
// rest of an entry (its GUID, time stamps, update numbers, the category) is the directory's own
// and is refused on an add; the name of the entry comes back with its DN.
const LdapHelper::attr_list& RestoredAttributes() {
    static const LdapHelper::attr_list attributes = {L"objectClass", L"description",
                                                     ICheckIdAttribute, ICheckTypeAttribute,
                                                     ICheckDataAttribute};
    return attributes;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return text;
}

// Whether `dn` is `top` or an entry below it.
bool AtOrBelow(const std::wstring& dn, const std::wstring& top) {
    const std::wstring a = Lower(dn);
    const std::wstring b = Lower(top);
    if (a == b) {
        return true;
    }
    return a.size() > b.size() && a.compare(a.size() - b.size(), b.size(), b) == 0 &&
           a[a.size() - b.size() - 1] == L',' &&
           (a.size() - b.size() < 2 || a[a.size() - b.size() - 2] != L'\\');
}

}  // namespace

ModelEraser::ModelEraser(LdapHelper::session& session, const ICheckPlatform& platform,
                         std::wstring baseDn, std::string restoreFolder, MigrationJournal& journal)
    : session_(session),
      platform_(platform),
      baseDn_(std::move(baseDn)),
      restoreFolder_(std::move(restoreFolder)),
      journal_(journal) {}

Body ModelEraser::Erase() {
    PrintMessage(L"Erasing previous model");
    const std::wstring container = PlatformContainer(platform_, baseDn_);
    LdapHelper::object_list objects = session_.search(
        LdapHelper::query(container, LdapHelper::SCOPE_SUBTREE,
                          L"(&(objectClass=" + platform_.objectClass + L"))"),
        {ICheckIdAttribute, ICheckTypeAttribute, ICheckDataAttribute, L"distinguishedName"});
    Body clients(4, 0);
    PrintJoined({std::to_wstring(objects.size()), L" objects to delete"});
    if (!objects.empty()) {
        SaveRestoreFile(objects);
    }
    for (const LdapHelper::object_ptr& object : objects) {
        const uint32_t type = object->get_attr(ICheckTypeAttribute).to_ulong();
        if (type == static_cast<uint32_t>(ICheckTypeGroup)) {
            TakeClientsList(*object, clients);
        }
        const LdapHelper::attr_value id = object->get_attr(ICheckIdAttribute);
        const ObjectEvent event = ICheckObjectEvent(id.to_string(), static_cast<int32_t>(type),
                                                    static_cast<int64_t>(id.to_uint64()), platform_,
                                                    ObjectAction::Deleted);
        const std::wstring dn = object->get_attr(L"distinguishedName").to_string();
        try {
            session_.remove_object(dn.empty() ? object->dn().c_str() : dn.c_str());
        } catch (const KvBase::CKvError& e) {
            journal_.RecordFailure(event, e);
            failureRecorded_ = true;
            throw;
        }
        journal_.Record(event);
        ++deleted_;
    }
    PrintMessage(L"Erasing previous model done");
    return clients;
}

void ModelEraser::SaveRestoreFile(const LdapHelper::object_list& objects) {
    const std::wstring container = PlatformContainer(platform_, baseDn_);
    // The tree delete takes an object's subtree with it: everything below is saved as well.
    LdapHelper::object_list entries =
        session_.search(LdapHelper::query(container, LdapHelper::SCOPE_SUBTREE, L"(objectClass=*)"),
                        RestoredAttributes());
    std::vector<RestoreEntry> saved;
    for (const LdapHelper::object_ptr& entry : entries) {
        const std::wstring dn = entry->dn();
        bool deleted = false;
        for (const LdapHelper::object_ptr& object : objects) {
            if (AtOrBelow(dn, object->dn())) {
                deleted = true;
                break;
            }
        }
        if (!deleted) {
            continue;
        }
        RestoreEntry restore{dn, {}};
        for (const std::wstring& name : RestoredAttributes()) {
            std::vector<std::string> values = entry->get_attr(name).values();
            if (!values.empty()) {
                restore.attributes.emplace_back(name, std::move(values));
            }
        }
        saved.push_back(std::move(restore));
    }
    const std::string ldif =
        FormatRestoreLdif(saved, L"The integrity-check model of the " + platform_.name +
                                     L" platform in " + container +
                                     L",\nas it was before the import erased it. Delete what the "
                                     L"import created there, then restore it with\n"
                                     L"ldapadd -f <this file> and the connection options of the "
                                     L"storage.");
    restoreFile_ = WriteRestoreFile(restoreFolder_, platform_.name, ldif);
    PrintMessage(L"The previous model was saved to " + restoreFile_);
}

void ModelEraser::TakeClientsList(const LdapHelper::object& object, Body& clients) const {
    const Body body = object.get_attr(ICheckDataAttribute).data();
    try {
        GroupEntryBody group(body);
        if (!EqualsIgnoreCase(group.Name(), platform_.defaultGroupName)) {
            return;
        }
        KvBase::GetTrace().Trace(KvBase::TraceInfo, L"DeleteICModel, eject comps list");
        Body list = group.ClientsList();
        if (!list.empty()) {
            clients = std::move(list);
        }
        const uint32_t count = clients.size() >= 4 ? BodyReader(clients).U32(0, L"the count") : 0;
        KvBase::GetTrace().Trace(KvBase::TraceInfo, L"DeleteICModel, %d comps",
                                 static_cast<int>(count));
    } catch (const KvBase::CKvError& e) {
        // Only the clients list is lost, and the restore file keeps it.
        ReportICheckError(e);
        PrintWarning(L"The body of " + object.dn() +
                         L" cannot be read; if it is the target's default group, its clients "
                         L"list is not carried over: " +
                         e.Description(),
                     KvBase::TraceError);
    }
}

}  // namespace KvMigration
