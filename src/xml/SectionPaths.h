#pragma once

namespace KvMigration {

// The skeleton of the migration file: element names and the section paths exporters and importers
// are registered under (names from the root joined by "/", compared exactly).
inline constexpr wchar_t RootElement[] = L"Korvant";
inline constexpr wchar_t ConfigElement[] = L"Config";
inline constexpr wchar_t DataElement[] = L"Data";
inline constexpr wchar_t MappingElement[] = L"Mapping";
inline constexpr wchar_t CommonElement[] = L"Common";
inline constexpr wchar_t OmsElement[] = L"Oms";
inline constexpr wchar_t ClientElement[] = L"Client";
inline constexpr wchar_t ICheckElement[] = L"ICheck";

inline constexpr wchar_t MappingPath[] = L"Korvant/Config/Mapping";
inline constexpr wchar_t CommonPath[] = L"Korvant/Config/Common";
inline constexpr wchar_t OmsPath[] = L"Korvant/Data/Oms";
inline constexpr wchar_t ClientPath[] = L"Korvant/Data/Client";
inline constexpr wchar_t ICheckPath[] = L"Korvant/Data/ICheck";

}  // namespace KvMigration
