#pragma once

// The directory lab's settings for the integration tests, read from its environment file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace KvTest {

class LabEnvironment {
public:
    // Loads ${KV_LAB_HOME:-/var/tmp/kvlab}/env and exports its settings to this process.
    static const LabEnvironment& Get() {
        static const LabEnvironment lab;
        return lab;
    }

    bool Up() const { return !values_.empty(); }
    const std::string& Path() const { return path_; }
    std::string Value(const std::string& name, const std::string& fallback = {}) const {
        auto it = values_.find(name);
        return it == values_.end() ? fallback : it->second;
    }
    std::wstring Password() const {
        std::string text = Value("KV_LAB_PASSWORD");
        return std::wstring(text.begin(), text.end());
    }
    std::wstring Admin() const {
        std::string text = Value("KV_LAB_USER", "CORP\\Administrator");
        return std::wstring(text.begin(), text.end());
    }

private:
    LabEnvironment() {
        const char* home = std::getenv("KV_LAB_HOME");
        path_ = std::string(home && *home ? home : "/var/tmp/kvlab") + "/env";
        std::ifstream in(path_);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("export ", 0) == 0) {
                line.erase(0, 7);
            }
            auto eq = line.find('=');
            if (line.empty() || line[0] == '#' || eq == std::string::npos) {
                continue;
            }
            std::string value = line.substr(eq + 1);
            if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                value.back() == value[0]) {
                value = value.substr(1, value.size() - 2);
            }
            values_[line.substr(0, eq)] = value;
        }
        for (const auto& [name, value] : values_) {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }

    std::string path_;
    std::map<std::string, std::string> values_;
};

// Fails the test with a clear message when the lab is down.
#define KV_REQUIRE_LAB()                                                                        \
    do {                                                                                        \
        if (!::KvTest::LabEnvironment::Get().Up()) {                                            \
            FAIL() << "The directory lab is not up: " << ::KvTest::LabEnvironment::Get().Path() \
                   << " is missing or empty. Start it with lab/up.";                            \
        }                                                                                       \
    } while (0)

}  // namespace KvTest
