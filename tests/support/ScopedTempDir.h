#pragma once

#include <string>

namespace KvTest {

// A fresh folder under the temporary folder, removed with everything in it when the scope ends.
class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes bytes to a file, replacing it.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// Sets an environment variable for a scope and restores the previous value.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::string saved_;
    bool hadValue_;
};

}  // namespace KvTest
