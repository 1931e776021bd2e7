#pragma once

// Scratch registry files and installation model files for the integrity-check tests.

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "support/ScopedTempDir.h"

namespace KvTest {

// A registry file with the product locale of the new product (`value` is the .reg value text,
// such as "\"ru-ru\"" or "dword:00000001"; empty for none), set as the machine's registry and the
// installation folder as $SecurityServerDir for the life of the object.
class ProductInstallation {
public:
    explicit ProductInstallation(const std::string& locale)
        : registry_("KV_REGISTRY_FILE", dir_.File("registry.reg")),
          folder_("SecurityServerDir", dir_.Path() + "/server/") {
        SetLocale(locale);
    }

    void SetLocale(const std::string& value) {
        std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
        if (!value.empty()) {
            text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvion\\Korvant Suite]\r\n\"ProductLocale\"=" +
                    value + "\r\n";
        }
        // A new file each time, so that the registry is read again.
        ++version_;
        const std::string path = dir_.File("registry" + std::to_string(version_) + ".reg");
        WriteFile(path, text);
        setenv("KV_REGISTRY_FILE", path.c_str(), 1);
    }

    // Writes the installation model file of a locale folder ("ru-ru") and platform file name.
    void WriteModel(const std::string& locale, const std::string& file, const std::string& xml) {
        const std::string folder = dir_.Path() + "/server/" + locale;
        std::string command = "mkdir -p '" + folder + "'";
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("cannot make " + folder);
        }
        WriteFile(folder + "/" + file, xml);
    }

    std::string Folder() const { return dir_.Path() + "/server/"; }

private:
    ScopedTempDir dir_;
    ScopedEnv registry_;
    ScopedEnv folder_;
    int version_ = 0;
};

}  // namespace KvTest
