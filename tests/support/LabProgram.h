#pragma once

// Runs the program's binary against the directory lab as the lab administrator.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Lab.h"
#include "support/RunProcess.h"

namespace KvTest {

struct LabTarget {
    std::string dc;      // -dc: the Active Directory domain controller
    std::string omsSid;  // -oms: the management server
};

// `ad` with the lab's management server KVOMS, the default of every run.
inline LabTarget DefaultDomain() {
    const Lab& lab = Lab::Get();
    return {lab.Value("KV_LAB_AD"), lab.Value("KV_LAB_OMS_SID")};
}

// The second domain new.local with its own KVOMS, for imports into the target pair tied to it.
inline LabTarget NewDomain() {
    const Lab& lab = Lab::Get();
    return {lab.Value("KV_LAB_AD_NEW"), lab.Value("KV_LAB_NEW_OMS_SID")};
}

// The binary with `arguments`, then -srv, -dc, -oms and -cr of the lab. The password reaches it
// only on its command line, and the result is checked not to show it.
inline ProcessResult RunProgram(const std::string& binary, std::vector<std::string> arguments,
                                const LabTarget& target = DefaultDomain(),
                                int timeoutSeconds = 300) {
    const Lab& lab = Lab::Get();
    for (const std::string& argument :
         {std::string("-srv"), lab.Value("KV_LAB_LDS_HOST"), std::string("-dc"), target.dc,
          std::string("-oms"), target.omsSid, std::string("-cr"), lab.Credentials()}) {
        arguments.push_back(argument);
    }
    ProcessResult result = RunProcess(binary, arguments, {}, timeoutSeconds);
    const std::string password = lab.Value("KV_LAB_PASSWORD");
    EXPECT_EQ(result.out.find(password), std::string::npos) << "the password was printed";
    EXPECT_EQ(result.err.find(password), std::string::npos) << "the password was printed";
    return result;
}

}  // namespace KvTest
