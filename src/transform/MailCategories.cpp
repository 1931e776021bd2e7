#include "transform/MailCategories.h"

namespace KvMigration {

const std::map<std::wstring, std::wstring>& ProductEventCategories() {
    static const std::map<std::wstring, std::wstring> table = {
        {L"Общие события", L"1"},
        {L"Вход/выход", L"2"},
        {L"Регистрация", L"10"},
        {L"Контроль печати", L"4"},
        {L"Полномочное управление доступом", L"3"},
        {L"Замкнутая программная среда", L"7"},
        {L"Расширение групповой политики", L"8"},
        {L"Служба репликации", L"11"},
        {L"Контроль целостности", L"12"},
        {L"Контроль конфигурации", L"13"},
        {L"Разграничение доступа к устройствам", L"9"},
        {L"Администрирование", L"14"},
        {L"ПАК \"Квилл\"", L"15"},
        {L"КП ГАС \"Выборы\"", L"16"},
        {L"Контроль приложений", L"22"},
        {L"Дискреционный доступ", L"23"},
    };
    return table;
}

const std::map<std::wstring, std::wstring>& ProductLspEventCategories() {
    static const std::map<std::wstring, std::wstring> table = [] {
        static const wchar_t* const names[] = {
            L"System events",
            L"Common events",
            L"Services events",
            L"Logon/logoff",
            L"Integrity check",
            L"Print control",
            L"Testing",
            L"Self-testing",
            L"Data erase",
            L"Event subsystem",
            L"Backup",
            L"Policy management",
            L"Audit management",
            L"Service management",
            L"User management",
            L"Integrity check management",
            L"Access control management",
            L"Logon/logoff management",
            L"Backup management",
            L"Management and monitoring",
            L"Kernel events",
            L"Common access events",
            L"File access",
            L"Application control",
            L"Network control",
            L"Device control",
        };
        std::map<std::wstring, std::wstring> ids;
        int id = 1;
        for (const wchar_t* name : names) {
            ids.emplace(name, std::to_wstring(id++));
        }
        return ids;
    }();
    return table;
}

// The ids are the task categories under which Windows security auditing logs each subcategory.
const std::map<std::wstring, std::wstring>& SecurityAuditCategories() {
    static const std::map<std::wstring, std::wstring> table = {
        {L"Logon/Logoff", L""},
        {L"Account Lockout", L"12546"},
        {L"IPsec Extended Mode", L""},
        {L"Logoff", L"12545"},
        {L"Logon", L"12544"},
        {L"IPsec Main Mode", L""},
        {L"Network Policy Server", L""},
        {L"Other Logon/Logoff Events", L"12551"},
        {L"IPsec Quick Mode", L""},
        {L"Special Logon", L"12548"},
        {L"System Event", L""},
        {L"Security State Change", L"12288"},
        {L"Security System Extension", L"12289"},
        {L"System Integrity", L"12290"},
        {L"IPsec Driver", L""},
        {L"Other System Events", L"12292"},
        {L"Detailed Tracking", L""},
        {L"Process Creation", L"13312"},
        {L"DPAPI Activity", L""},
        {L"RPC Events", L""},
        {L"Process Termination", L"13313"},
        {L"Object Access", L""},
        {L"Application Generated", L""},
        {L"Certification Services", L""},
        {L"Filtering Platform Connection", L"12810"},
        {L"Handle Manipulation", L"12807"},
        {L"Other Object Access Events", L"12804"},
        {L"Filtering Platform Packet Drop", L"12809"},
        {L"Registry", L"12801"},
        {L"File Share", L"12808"},
        {L"File System", L"12800"},
        {L"Policy Change", L""},
        {L"Audit Policy Change", L"13568"},
        {L"Authentication Policy Change", L"13569"},
        {L"Authorization Policy Change", L"13570"},
        {L"Filtering Platform Policy Change", L""},
        {L"MPSSVC Rule-Level Policy Change", L"13571"},
        {L"Other Policy Change Events", L"13573"},
        {L"Directory Service Access", L"14080"},
        {L"Account Logon", L""},
        {L"Account Management", L""},
        {L"Privilege Use", L""},
        // Privilege Use tasks: 13056 sensitive, 13057 non-sensitive, 13058 other events.
        {L"Other Privilege Use Events", L"13058"},
        {L"Sensitive Privilege Use", L"13056"},
        {L"Non Sensitive Privilege Use", L""},
    };
    return table;
}

}  // namespace KvMigration
