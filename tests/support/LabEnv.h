#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace KvTest {

// "KEY=VALUE" lines as the directory lab writes them for its clients (an "export " prefix and
// surrounding quotes are allowed). Without a path: ${KV_LAB_HOME:-/var/tmp/kvlab}/env.
class LabEnv {
public:
    LabEnv() : LabEnv(DefaultPath()) {}
    explicit LabEnv(const std::string& path) : path_(path) {
        std::ifstream in(path_);
        loaded_ = static_cast<bool>(in);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("export ", 0) == 0) {
                line.erase(0, 7);
            }
            size_t eq = line.find('=');
            if (line.empty() || line[0] == '#' || eq == std::string::npos) {
                continue;
            }
            std::string value = line.substr(eq + 1);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            values_[line.substr(0, eq)] = value;
        }
    }

    static std::string DefaultPath() {
        const char* home = std::getenv("KV_LAB_HOME");
        return std::string(home && *home ? home : "/var/tmp/kvlab") + "/env";
    }

    bool Loaded() const { return loaded_; }
    const std::string& Path() const { return path_; }
    std::string Get(const std::string& key) const {
        auto found = values_.find(key);
        return found == values_.end() ? std::string() : found->second;
    }
    const std::map<std::string, std::string>& All() const { return values_; }

private:
    std::string path_;
    bool loaded_ = false;
    std::map<std::string, std::string> values_;
};

}  // namespace KvTest
