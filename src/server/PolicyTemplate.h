#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace KvMigration {

// A group-policy security template ("GptKorvant.inf") is a few kilobytes, and its two policy
// documents must fit into directory attributes. The settings of a small file can still take far
// more memory than the file: a line gives one setting per "=" it holds, each as long as the line,
// and every short line is a setting whose records and markup outweigh its characters. Each
// setting is therefore charged PolicySettingCost, and the charges of one template (decoded
// values included) are limited to PolicyTemplateMaxSettingBytes.
inline constexpr size_t PolicyTemplateMaxBytes = 16u * 1024u * 1024u;
inline constexpr size_t PolicyTemplateMaxSettingBytes = 16u * 1024u * 1024u;

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

// The bytes one setting holds on its way into a policy document: its record in the setting list
// and in the entry list, and its name, value and type as wide characters inside the markup of its
// Policy element, escaped as they are there (a quote takes six characters).
size_t PolicySettingCost(std::wstring_view name, std::wstring_view value);

// The template's text, read as a text file in the old server's code page (see PolicyTemplateText);
// nothing when it cannot be opened, is not a regular file or is larger than
// PolicyTemplateMaxBytes.
std::optional<std::wstring> ReadPolicyTemplate(const std::wstring& path);

// What a text-mode read of the template's bytes gives: CR LF becomes LF and the text ends at the
// first Ctrl-Z; decoded from the Windows code page of the server that wrote it (registry "ACP").
std::wstring PolicyTemplateText(const std::string& bytes);

// Fills the template from its text: "Revision" of section "Version", every pair of every other
// section as a "string" setting. Returns the INI parser's result: IniParsed or the failing line,
// which is also the line at which the settings exceeded PolicyTemplateMaxSettingBytes (traced).
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
// at least one of them was set. Nothing (traced) when the settings, with their decoded values,
// cost more than PolicyTemplateMaxSettingBytes.
std::optional<std::vector<PolicyEntry>> PolicyEntries(const PolicyTemplate& policy);

}  // namespace KvMigration
