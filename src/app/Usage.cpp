#include "app/InputParameters.h"
#include "platform/Console.h"

namespace KvMigration {

const std::string& UsageText() {
    static const std::string text =
        "KvMigrationUtil [-ex|-im <file_path>] [-ad|-lds <lds_port>:<lds_ssl_port>] \r\n"
        "                [-cr <login>:<password>] [-fi] [-winpol] [-kvpol]\r\n"
        "\r\n"
        "Parameters:\r\n"
        "-h/-?           Display this help message.\r\n"
        "-ex             Specify program for export.\r\n"
        "-im             Specify program for import.\r\n"
        "-ad             Specify AD as centralized data storage.\r\n"
        "-lds            Specify LDS as centralized data storage.\r\n"
        "-cr             Specify login:password. Don't use for current user credential.\r\n"
        "-fi             Forced import - ignore import history.\r\n"
        "-winpol         Set the priority for policy merging to Windows policy.\r\n"
        "-kvpol          Set the priority for policy merging to KVR policy. By default.\r\n"
        "\r\n"
        "Keys for defining import objects, all of them if not specifed.\r\n"
        "-server\r\n"
        "-clients\r\n"
        "-policies\r\n"
        "-icheck\r\n"
        "-users\r\n"
        "\r\n"
        "Example:\r\n"
        "KvMigrationUtil -ex C:\\KVRBackup.xml -lds\r\n"
        "KvMigrationUtil -im C:\\KVRBackup.xml\r\n"
        "KvMigrationUtil -im C:\\KVRBackup.xml -lds 50100:501002 -cr user@domain.com:password "
        "-fi -server -policies -winpol";
    return text;
}

void PrintUsage() {
    Platform::SystemConsole().Write(UsageText() + "\n\n");
}

}  // namespace KvMigration
