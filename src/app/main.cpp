#include "app/CommandLine.h"
#include "app/RunSequence.h"
#include "platform/CodePage.h"
#include "platform/Process.h"

#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(Platform::ArgumentToWide(argv[i]));
    }
    // The copy above is all the run needs: the password leaves the visible command line now.
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-cr") == 0) {
            Platform::HidePasswordArgument(argv[i + 1]);
        } else if ((std::strcmp(argv[i], "-W") == 0 || std::strcmp(argv[i], "-w") == 0) &&
                   !KvMigration::CommandLine::IsKey(arguments[static_cast<size_t>(i)])) {
            // A value after "-W" (which takes none) or ldapmodify's "-w" is most likely a password
            // typed out of habit.
            std::memset(argv[i + 1], 'x', std::strlen(argv[i + 1]));
        }
    }
    return KvMigration::RunMigration(arguments);
}
