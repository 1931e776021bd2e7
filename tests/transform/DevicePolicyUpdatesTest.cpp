#include <gtest/gtest.h>

#include <cwchar>

#include "platform/CodePage.h"
#include "transform/DevicePolicyDocuments.h"
#include "transform/DevicePolicyTransformer.h"

namespace KvMigration {
namespace {

using namespace KvTest;

std::wstring StepText(const DeviceUpdate& step) {
    switch (step.action) {
        case DeviceUpdate::Action::Add:
            return L"add " + step.uniqueName;
        case DeviceUpdate::Action::Remove:
            return L"remove " + step.uniqueName;
        case DeviceUpdate::Action::SetDescription:
            return L"describe " + step.uniqueName + L" as " + step.description;
    }
    return L"?";
}

TEST(DevicePolicyUpdates, StepsFollowTheTargetVersion) {
    struct Case {
        const char* name;
        SchemaVersion version;
        std::vector<std::wstring> steps;
    };
    const std::wstring describe = L"describe " + kAthenaOld + L" as Athena ASEDrive IIIe Bio Combo";
    const std::vector<std::wstring> from84 = {
        L"add " + kJaCartaSfGost, L"add " + kAthenaCcid,    describe,
        L"add " + kJaCartaLt,     L"add " + kEsmartAcs,     L"add " + kEsmartMicron,
        L"add " + kIdCard,        L"remove " + kReader1202, L"remove " + kReader0004,
    };
    const Case cases[] = {
        {"no version", {0, 0}, {L"add " + kJaCartaSfGost}},
        {"below 8.2", {7, 18}, {L"add " + kJaCartaSfGost}},
        {"8.1", {8, 1}, {L"add " + kJaCartaSfGost}},
        {"exactly 8.2", {8, 2}, {L"remove " + kJaCartaSfGost, L"add " + kAthenaCcid, describe}},
        {"8.3", {8, 3}, {L"add " + kJaCartaSfGost, L"add " + kAthenaCcid, describe}},
        {"8.4", {8, 4}, from84},
        {"8.19: minor versions compare as numbers", {8, 19}, from84},
        {"9.0", {9, 0}, from84},
    };
    const CDevicePolicyTransformer transformer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::wstring> steps;
        for (const DeviceUpdate& step : transformer.UpdateSteps(c.version)) {
            steps.push_back(StepText(step));
        }
        EXPECT_EQ(steps, c.steps);
    }
}

TEST(DevicePolicyUpdates, AddedDevicesStartFromTheCommonAttributes) {
    const CDevicePolicyTransformer transformer;
    EXPECT_EQ(transformer.Device(DeviceRow::JaCartaSfGost).Node(),
              (DeviceNode{{{L"Bus", L"1"},
                           {L"Defined", L"0"},
                           {L"Description", L"JaCarta SF/ГОСТ"},
                           {L"DeviceClass", L"1258"},
                           {L"DeviceControl", L"0"},
                           {L"Enumerator", L"0"},
                           {L"Flags", L"0x123"},
                           {L"Inheritance", L"0"},
                           {L"Manufacturer", L""},
                           {L"Present", L"1"},
                           {L"Product", L"1030"},
                           {L"SD", L""},
                           {L"SerialNumber", L""},
                           {L"Type", L"2"},
                           {L"UniqueName", kJaCartaSfGost},
                           {L"Vendor", L"9436"}},
                          {}}));
}

TEST(DevicePolicyUpdates, TableRowsMatchTheirUniqueNames) {
    struct Case {
        DeviceRow row;
        std::wstring uniqueName;
        std::wstring description;
    };
    const Case cases[] = {
        {DeviceRow::JaCartaSfGost, kJaCartaSfGost, L"JaCarta SF/\u0413\u041E\u0421\u0422"},
        {DeviceRow::AthenaBioComboCcid, kAthenaCcid, L"Athena ASEDrive IIIe Bio Combo (CCID)"},
        {DeviceRow::JaCartaLt, kJaCartaLt, L"JaCarta LT"},
        {DeviceRow::EsmartTokenAcs, kEsmartAcs, L"ESMART Token (ACS)"},
        {DeviceRow::EsmartTokenMicron, kEsmartMicron, L"ESMART Token (Micron)"},
        {DeviceRow::IdentificationCard, kIdCard,
         L"\u0418\u0434\u0435\u043D\u0442\u0438\u0444\u0438\u043A\u0430\u0446\u0438\u043E"
         L"\u043D\u043D\u0430\u044F \u043A\u0430\u0440\u0442\u0430"},
    };
    const CDevicePolicyTransformer transformer;
    ASSERT_EQ(transformer.Devices().size(), std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(Platform::WideToUtf8(c.uniqueName));
        const BuiltInDevice& device = transformer.Device(c.row);
        EXPECT_EQ(device.uniqueName, c.uniqueName);
        EXPECT_EQ(device.description, c.description);
        auto hexAfter = [&](const wchar_t* marker) {
            size_t at = device.uniqueName.find(marker) + std::wcslen(marker);
            return std::to_wstring(std::stoul(device.uniqueName.substr(at, 4), nullptr, 16));
        };
        EXPECT_EQ(device.vendor, hexAfter(L"Vid_"));
        EXPECT_EQ(device.product, hexAfter(L"Pid_"));
        EXPECT_EQ(device.Node().attributes.at(L"DeviceClass"), hexAfter(L"Cl_"));
    }
}

}  // namespace
}  // namespace KvMigration
