#pragma once

// The directory lab's settings for the integration tests, read from its environment file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/LabEnv.h"

namespace KvTest {

class LabEnvironment {
public:
    // Loads ${KV_LAB_HOME:-/var/tmp/kvlab}/env and exports its settings to this process.
    static const LabEnvironment& Get() {
        static const LabEnvironment lab;
        return lab;
    }

    bool Up() const { return !env_.All().empty(); }
    const std::string& Path() const { return env_.Path(); }
    std::string Value(const std::string& name, const std::string& fallback = {}) const {
        auto it = env_.All().find(name);
        return it == env_.All().end() ? fallback : it->second;
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
        for (const auto& [name, value] : env_.All()) {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }

    LabEnv env_;
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
