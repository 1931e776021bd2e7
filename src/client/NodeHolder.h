#pragma once

#include <map>
#include <string>

namespace KvMigration {

// The record of one client object: its product attributes as text (never its identity), its
// category, which is also its element name in the migration file, and its identity (a user's SID
// string, an identifier's cn, "GQuillData" for the global record).
class CNodeHolder {
public:
    virtual ~CNodeHolder() = default;

    void Clear();

    std::map<std::wstring, std::wstring> attributes;
    std::wstring className;
    std::wstring name;
};

// The kinds add nothing but the kind.
class CUserNodeHolder : public CNodeHolder {};
class CElidNodeHolder : public CNodeHolder {};
class CGlobalNodeHolder : public CNodeHolder {};

inline constexpr wchar_t UserCategory[] = L"person";
inline constexpr wchar_t ElidCategory[] = L"orvexKVUEI";
inline constexpr wchar_t GlobalCategory[] = L"orvexKVGQuillData";
inline constexpr wchar_t GlobalRecordName[] = L"GQuillData";

}  // namespace KvMigration
