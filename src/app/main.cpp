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
        }
    }
    return KvMigration::RunMigration(arguments);
}
