#include "app/UndoLdif.h"

#include "helper/Base64.h"

namespace KvMigration {
namespace {

constexpr size_t kLineWidth = 76;

// RFC 2849 SAFE-STRING, and no trailing blank, which some readers strip.
bool IsSafe(std::string_view value) {
    if (value.empty()) {
        return true;
    }
    const unsigned char first = static_cast<unsigned char>(value.front());
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ') {
        return false;
    }
    for (char c : value) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7e) {
            return false;
        }
    }
    return true;
}

// The text is ASCII throughout (everything else went to Base64), so folding at any byte keeps
// the characters whole.
void AppendFolded(std::string& out, std::string_view line) {
    size_t width = kLineWidth;
    while (line.size() > width) {
        out.append(line.substr(0, width));
        out.append("\n ");
        line.remove_prefix(width);
        width = kLineWidth - 1;
    }
    out.append(line);
    out.push_back('\n');
}

void AppendAttribute(std::string& out, const LdifAttribute& attribute) {
    for (const std::string& value : attribute.second) {
        out += LdifLine(attribute.first, value);
    }
}

std::string ControlLine(const LdapHelper::LdapControl& control) {
    std::string text = control.oid + (control.critical ? " true" : " false");
    if (control.value) {
        text += ":: " + Base64Encode(reinterpret_cast<const uint8_t*>(control.value->data()),
                                     control.value->size());
    }
    std::string out;
    AppendFolded(out, "control: " + text);
    return out;
}

}  // namespace

std::string LdifLine(std::string_view name, std::string_view value) {
    std::string line(name);
    if (value.empty()) {
        line += ":";
    } else if (IsSafe(value)) {
        line += ": ";
        line += value;
    } else {
        line += ":: ";
        line += Base64Encode(reinterpret_cast<const uint8_t*>(value.data()), value.size());
    }
    std::string out;
    AppendFolded(out, line);
    return out;
}

std::string LdifDeleteRecord(const std::string& dn) {
    return LdifLine("dn", dn) + "changetype: delete\n\n";
}

std::string LdifAddRecord(const std::string& dn, const std::vector<LdifAttribute>& attributes) {
    std::string out = LdifLine("dn", dn) + "changetype: add\n";
    for (const LdifAttribute& attribute : attributes) {
        AppendAttribute(out, attribute);
    }
    return out + "\n";
}

std::string LdifRestoreRecord(const std::string& dn, const std::vector<LdifAttribute>& attributes,
                              const std::vector<LdapHelper::LdapControl>& controls) {
    std::string out = LdifLine("dn", dn);
    for (const LdapHelper::LdapControl& control : controls) {
        out += ControlLine(control);
    }
    out += "changetype: modify\n";
    for (const LdifAttribute& attribute : attributes) {
        out += LdifLine("replace", attribute.first);
        AppendAttribute(out, attribute);
        out += "-\n";
    }
    return out + "\n";
}

std::string LdifMoveRecord(const std::string& dn, const std::string& rdn,
                           const std::string& parent) {
    std::string out =
        LdifLine("dn", dn) + "changetype: modrdn\n" + LdifLine("newrdn", rdn) + "deleteoldrdn: 1\n";
    if (!parent.empty()) {
        out += LdifLine("newsuperior", parent);
    }
    return out + "\n";
}

}  // namespace KvMigration
