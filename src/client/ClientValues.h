#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "client/NodeHolder.h"
#include "ldap/LdapHelper.h"

namespace KvMigration {

// The five kinds of client attribute value, between a directory object and a record.
//
// Reading (export) puts the attribute's text into the record, or leaves it out, and says whether
// it did: uint32 and uint64 leave out 0 and absent values; bool writes "1" for "TRUE" and leaves
// out anything else; blob(N) leaves out absent and empty values and raises code 13 ("getblob")
// when N is not 0 and the value is not N bytes long. A value of N = 0 may have any length.
//
// Writing (import) stages the attribute on the object only when the record holds it, and says
// whether it did. Numbers are parsed strictly: a text that is not a decimal number, or one out of
// range for the width, throws std::invalid_argument or std::out_of_range naming the attribute and
// the text, never the error object. Blobs of the wrong size raise code 13 ("setblob"), texts that
// are not SIDs code 13 ("setsid").

bool ReadUInt32(const LdapHelper::object& object, const wchar_t* name, CNodeHolder& record,
                uint32_t* number = nullptr);
bool ReadUInt64(const LdapHelper::object& object, const wchar_t* name, CNodeHolder& record);
bool ReadBool(const LdapHelper::object& object, const wchar_t* name, CNodeHolder& record);
bool ReadBlob(const LdapHelper::object& object, const wchar_t* name, size_t size,
              CNodeHolder& record, size_t* byteCount = nullptr);
// The standard string form of a binary SID; "NULL SID" for bytes that are no SID.
std::wstring SidText(const LdapHelper::attr_value& value);

bool WriteUInt32(LdapHelper::object& object, const wchar_t* name, const CNodeHolder& record);
bool WriteUInt64(LdapHelper::object& object, const wchar_t* name, const CNodeHolder& record);
bool WriteBool(LdapHelper::object& object, const wchar_t* name, const CNodeHolder& record);
bool WriteBlob(LdapHelper::object& object, const wchar_t* name, size_t size,
               const CNodeHolder& record);
bool WriteSid(LdapHelper::object& object, const wchar_t* name, const CNodeHolder& record);

// The strict parsers behind the number kinds; `name` is the attribute, for the message.
uint32_t ParseUInt32(const std::wstring& text, const wchar_t* name);
uint64_t ParseUInt64(const std::wstring& text, const wchar_t* name);
int32_t ParseInt32(const std::wstring& text, const wchar_t* name);

}  // namespace KvMigration
