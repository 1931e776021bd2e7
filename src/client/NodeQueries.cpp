#include "client/NodeQueries.h"

#include "client/ClientSwitches.h"

namespace KvMigration {

std::wstring UserSearchBase::Base(const CLdapSession& session) {
    return LdsStorageMode() ? L"CN=Users," + session.BaseDn() : std::wstring();
}

std::wstring ElidSearchBase::Base(const CLdapSession& session) {
    return L"CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration," + session.BaseDn();
}

std::wstring QuillGlobalBase::Base(const CLdapSession& session) {
    return L"CN=Korvant 5.0 Configuration," + session.BaseDn();
}

const LdapHelper::attr_list& UserAttributes::List() {
    static const LdapHelper::attr_list list = {L"cn",
                                               L"description",
                                               L"orvexKVObjectSid",
                                               L"objectSid",
                                               L"orvexKVUserAccessLevel",
                                               L"orvexKVUserfControlLabels",
                                               L"orvexKVUserfOutputSecret",
                                               L"orvexKVUserfPrintSecretPriv",
                                               L"orvexKVUserEffectivePublicKey128",
                                               L"orvexKVUserPreviousPublicKey128",
                                               L"orvexKVUserEffectiveKeyTimeGenerated128",
                                               L"orvexKVUserPreviousKeyTimeGenerated128",
                                               L"orvexKVUserPasswordHash",
                                               L"orvexKVUserPasswordTimeGenerated",
                                               L"orvexKVUserImitQuillCompList",
                                               L"orvexKVUserQuillCompList"};
    return list;
}

const LdapHelper::attr_list& ElidAttributes::List() {
    static const LdapHelper::attr_list list = {
        L"cn",           L"description",    L"orvexKVUEIAuthInfo", L"orvexKVUEIFlags",
        L"orvexKVUEIId", L"orvexKVUEISize", L"orvexKVUEIType",     L"orvexKVUEIUserSID"};
    return list;
}

const LdapHelper::attr_list& QuillGlobalAttributes::List() {
    static const LdapHelper::attr_list list = {
        L"cn", L"description", L"orvexKVGQuillDataKeysCheckData", L"orvexKVGQuillDataKaCheckImit",
        L"orvexKVGQuillDataSKaCheckImit"};
    return list;
}

}  // namespace KvMigration
