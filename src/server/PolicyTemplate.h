#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace KvMigration {

// A group-policy security template ("GptKorvant.inf") is a few kilobytes, and its two policy
// documents must fit into directory attributes. A line gives one setting per "=" it holds, each
// as long as the line, so the settings of a small file can be far larger than the file: their
// names and values (the decoded ones included) are limited to 4 Mi characters in all.
inline constexpr size_t PolicyTemplateMaxBytes = 16u * 1024u * 1024u;
inline constexpr size_t PolicyTemplateMaxSettingChars = 4u * 1024u * 1024u;

struct TemplateSetting {
    std::wstring name;
    std::wstring value;
    std::wstring type;
    friend bool operator==(const TemplateSetting&, const TemplateSetting&) = default;
};

struct PolicyTemplate {
    std::wstring revision;
    std::vector<TemplateSetting> settings;  // file order, duplicates included
};

// The template's text, read as a text file (CR LF becomes LF) in the ANSI code page; nothing when
// it cannot be opened, is not a regular file or is larger than PolicyTemplateMaxBytes.
std::optional<std::wstring> ReadPolicyTemplate(const std::wstring& path);

// Fills the template from its text: "Revision" of section "Version", every pair of every other
// section as a "string" setting. Returns the INI parser's result: IniParsed or the failing line.
int ParsePolicyTemplate(const std::wstring& text, PolicyTemplate& policy);

// The XML document kept nibble-encoded and compressed in a "Dacs" or "Prn" value, without the
// leading processing instructions and whatever precedes its first element.
std::wstring DecodePolicyXml(const std::wstring& nibbles);

enum class PolicyDocument { Base, Devices };

struct PolicyEntry {
    PolicyDocument document;
    std::wstring uniqueName;
    std::wstring value;
    std::wstring type;
    friend bool operator==(const PolicyEntry&, const PolicyEntry&) = default;
};

// The Policy elements of the two documents in writing order: the settings ("Dacs" to the devices
// document, "Dacs" and "Prn" decoded as XMLString), then the missing security modes as "0" when
// at least one of them was set. Nothing (traced) when the decoded settings exceed
// PolicyTemplateMaxSettingChars.
std::optional<std::vector<PolicyEntry>> PolicyEntries(const PolicyTemplate& policy);

}  // namespace KvMigration
