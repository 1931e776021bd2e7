#pragma once

#include <optional>
#include <string>

#include "client/ClientSession.h"
#include "client/NodeHolder.h"
#include "ldap/LdapHelper.h"

namespace KvMigration {

// Search bases of the three kinds, below the session's client base DN B.
struct UserSearchBase {
    // "CN=Users,B" on AD LDS; on Active Directory empty, so the search starts at the default
    // naming context and finds users wherever the domain keeps them.
    static std::wstring Base(const CLdapSession& session);
};
struct ElidSearchBase {
    static std::wstring Base(const CLdapSession& session);
};
struct QuillGlobalBase {
    static std::wstring Base(const CLdapSession& session);
};

// Filters: objectCategory of the kind, and cn when a name is given; both values escaped.
template <const wchar_t* Category>
struct TCategoryFilter {
    static LdapHelper::conditions Conditions(const std::optional<std::wstring>& name) {
        LdapHelper::conditions terms{{L"objectCategory", LdapHelper::filter_value(Category, true)}};
        if (name) {
            terms[L"cn"] = LdapHelper::filter_value(*name, true);
        }
        return terms;
    }
    static std::wstring CategoryName() { return Category; }
};
using UserListFilter = TCategoryFilter<UserCategory>;
using ElidListFilter = TCategoryFilter<ElidCategory>;
using QuillGlobalFilter = TCategoryFilter<GlobalCategory>;

// The attributes read from the directory, in the order they are asked for.
struct UserAttributes {
    static const LdapHelper::attr_list& List();
};
struct ElidAttributes {
    static const LdapHelper::attr_list& List();
};
struct QuillGlobalAttributes {
    static const LdapHelper::attr_list& List();
};

template <class Base, class Filter, class Attributes>
struct TQueryQualifier {
    using BaseType = Base;
    using FilterType = Filter;
    using AttributesType = Attributes;
};

// The directory query of one kind of client object.
template <class Holder, class Qualifier>
class TLdapQuery {
public:
    using HolderType = Holder;

    explicit TLdapQuery(const CLdapSession& session) : session_(session) {}

    // Every object of the kind under its base (subtree), or those whose cn is `name`; paged when
    // the server refuses the result's size.
    LdapHelper::object_list search(const std::optional<std::wstring>& name = std::nullopt) const {
        return session_.Session().search(LdapHelper::query(base(), LdapHelper::SCOPE_SUBTREE,
                                                           Qualifier::FilterType::Conditions(name)),
                                         Qualifier::AttributesType::List());
    }
    std::wstring base() const { return Qualifier::BaseType::Base(session_); }
    std::wstring category() const { return Qualifier::FilterType::CategoryName(); }

private:
    const CLdapSession& session_;
};

using UserQuery =
    TLdapQuery<CUserNodeHolder, TQueryQualifier<UserSearchBase, UserListFilter, UserAttributes>>;
using ElidQuery =
    TLdapQuery<CElidNodeHolder, TQueryQualifier<ElidSearchBase, ElidListFilter, ElidAttributes>>;
using GlobalQuery =
    TLdapQuery<CGlobalNodeHolder,
               TQueryQualifier<QuillGlobalBase, QuillGlobalFilter, QuillGlobalAttributes>>;

// The names traces and error reports give the query and record types, as the product's other
// tools write them.
template <class T>
struct TypeName;
template <>
struct TypeName<UserQuery> {
    static constexpr char value[] =
        "class TLdapQuery<class CUserNodeHolder,class TQueryQualifier<class UserSearchBase,class "
        "UserListFilter,class UserAttributes> >";
};
template <>
struct TypeName<ElidQuery> {
    static constexpr char value[] =
        "class TLdapQuery<class CElidNodeHolder,class TQueryQualifier<class ElidSearchBase,class "
        "ElidListFilter,class ElidAttributes> >";
};
template <>
struct TypeName<GlobalQuery> {
    static constexpr char value[] =
        "class TLdapQuery<class CGlobalNodeHolder,class TQueryQualifier<class "
        "QuillGlobalBase,class "
        "QuillGlobalFilter,class QuillGlobalAttributes> >";
};
template <>
struct TypeName<CUserNodeHolder> {
    static constexpr char value[] = "class CUserNodeHolder";
};
template <>
struct TypeName<CElidNodeHolder> {
    static constexpr char value[] = "class CElidNodeHolder";
};
template <>
struct TypeName<CGlobalNodeHolder> {
    static constexpr char value[] = "class CGlobalNodeHolder";
};

}  // namespace KvMigration
