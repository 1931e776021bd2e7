#pragma once

#include <map>
#include <string>

#include "transform/DevicePolicyData.h"

// Builders of device policy documents for the tests, and a short form of device trees.
namespace KvTest {

inline const std::wstring kAnchor = L"Bus_1Cl_04eaVid_0529Pid_0620";
inline const std::wstring kJaCartaSfGost = L"Bus_1Cl_04eaVid_24dcPid_0406";
inline const std::wstring kAthenaCcid = L"Bus_1Cl_04eaVid_0dc3Pid_1008";
inline const std::wstring kJaCartaLt = L"Bus_1Cl_04eaVid_24dcPid_0102";
inline const std::wstring kEsmartAcs = L"Bus_1Cl_04eaVid_072fPid_b100";
inline const std::wstring kEsmartMicron = L"Bus_1Cl_04eaVid_2ce4Pid_7479";
inline const std::wstring kIdCard = L"Bus_1Cl_04eaVid_072fPid_90cc";
inline const std::wstring kAthenaOld = L"Bus_1Cl_04eaVid_0dc3Pid_1108";
inline const std::wstring kReader1202 = L"Bus_1Cl_04eaVid_04b9Pid_1202";
inline const std::wstring kReader0004 = L"Bus_1Cl_04eaVid_0a89Pid_0004";

// `text` as the XML writer puts it into a double-quoted attribute.
inline std::wstring EscapeAttribute(const std::wstring& text) {
    std::wstring escaped;
    for (wchar_t c : text) {
        switch (c) {
            case L'&':
                escaped += L"&amp;";
                break;
            case L'<':
                escaped += L"&lt;";
                break;
            case L'>':
                escaped += L"&gt;";
                break;
            case L'"':
                escaped += L"&quot;";
                break;
            case L'\n':
                escaped += L"&#10;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

inline std::wstring DeviceXml(const std::wstring& uniqueName, const std::wstring& description,
                              const std::wstring& children = L"") {
    std::wstring start = L"<dacsnode UniqueName=\"" + uniqueName + L"\" Description=\"" +
                         EscapeAttribute(description) + L"\"";
    return children.empty() ? start + L"/>" : start + L">" + children + L"</dacsnode>";
}

inline std::wstring InnerXml(const std::wstring& nodes) {
    return L"<policy PolicyType=\"1\" StorageType=\"0\">" + nodes + L"</policy>";
}

inline std::wstring OuterXml(const std::wstring& inner) {
    return L"<Policies guid=\"{7C5E}\" revision=\"3\" type=\"Devices\">"
           L"<Policy type=\"XMLString\" uniqueName=\"DeviceControl\" value=\"" +
           EscapeAttribute(inner) + L"\"/></Policies>";
}

// The tree as "name{children}, name": short names for the devices the update steps know, the
// `UniqueName` for the rest, "?" for a node without one.
inline std::wstring Shape(const KvMigration::DeviceList& nodes) {
    static const std::map<std::wstring, std::wstring> shortNames = {
        {kAnchor, L"anchor"},    {kJaCartaSfGost, L"A"},  {kAthenaCcid, L"B"}, {kJaCartaLt, L"C"},
        {kEsmartAcs, L"D"},      {kEsmartMicron, L"E"},   {kIdCard, L"F"},     {kAthenaOld, L"G"},
        {kReader1202, L"R1202"}, {kReader0004, L"R0004"},
    };
    std::wstring text;
    for (const KvMigration::DeviceNode& node : nodes) {
        if (!text.empty()) {
            text += L", ";
        }
        auto name = node.attributes.find(L"UniqueName");
        if (name == node.attributes.end()) {
            text += L"?";
        } else {
            auto known = shortNames.find(name->second);
            text += known == shortNames.end() ? name->second : known->second;
        }
        if (!node.children.empty()) {
            text += L"{" + Shape(node.children) + L"}";
        }
    }
    return text;
}

}  // namespace KvTest
