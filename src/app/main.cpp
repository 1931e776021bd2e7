#include "app/RunSequence.h"
#include "platform/CodePage.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(Platform::Utf8ToWide(argv[i]));
    }
    return KvMigration::RunMigration(arguments);
}
