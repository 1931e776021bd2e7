#include <utility>

#include "base/KvError.h"
#include "transform/DevicePolicyTransformer.h"

namespace KvMigration {
namespace {

constexpr uint32_t kErrorInvalidParameter = 87;
constexpr SchemaVersion kVersion82{8, 2};
constexpr SchemaVersion kVersion84{8, 4};

// Reader devices that the versions from 8.4 on no longer list.
constexpr const wchar_t* kDroppedFrom84[] = {L"Bus_1Cl_04eaVid_04b9Pid_1202",
                                             L"Bus_1Cl_04eaVid_0a89Pid_0004"};

constexpr const wchar_t* kAthenaBioCombo = L"Bus_1Cl_04eaVid_0dc3Pid_1108";

DeviceUpdate AddDevice(const BuiltInDevice& device) {
    DeviceUpdate step;
    step.action = DeviceUpdate::Action::Add;
    step.uniqueName = device.uniqueName;
    step.device = device.Node();
    return step;
}

DeviceUpdate RemoveDevice(std::wstring uniqueName) {
    DeviceUpdate step;
    step.action = DeviceUpdate::Action::Remove;
    step.uniqueName = std::move(uniqueName);
    return step;
}

DeviceUpdate SetDescription(std::wstring uniqueName, std::wstring description) {
    DeviceUpdate step;
    step.action = DeviceUpdate::Action::SetDescription;
    step.uniqueName = std::move(uniqueName);
    step.description = std::move(description);
    return step;
}

}  // namespace

DeviceNode BuiltInDevice::Node() const {
    DeviceNode node;
    node.attributes = {
        {L"Defined", L"0"},
        {L"Type", L"2"},
        {L"Bus", L"1"},
        {L"DeviceClass", L"1258"},
        {L"SerialNumber", L""},
        {L"Enumerator", L"0"},
        {L"Flags", L"0x123"},
        {L"Manufacturer", L""},
        {L"DeviceControl", L"0"},
        {L"Inheritance", L"0"},
        {L"Present", L"1"},
        {L"SD", L""},
        {L"Vendor", vendor},
        {L"Product", product},
        {L"UniqueName", uniqueName},
        {L"Description", description},
    };
    return node;
}

// `Vendor` and `Product` are the decimal values of the hexadecimal numbers after "Vid_" and
// "Pid_" in `UniqueName`; "04ea" after "Cl_" is the device class 1258.
CDevicePolicyTransformer::CDevicePolicyTransformer()
    : devices_{
          {L"9436", L"1030", L"Bus_1Cl_04eaVid_24dcPid_0406", L"JaCarta SF/ГОСТ"},
          {L"3523", L"4104", L"Bus_1Cl_04eaVid_0dc3Pid_1008",
           L"Athena ASEDrive IIIe Bio Combo (CCID)"},
          {L"9436", L"258", L"Bus_1Cl_04eaVid_24dcPid_0102", L"JaCarta LT"},
          {L"1839", L"45312", L"Bus_1Cl_04eaVid_072fPid_b100", L"ESMART Token (ACS)"},
          {L"11492", L"29817", L"Bus_1Cl_04eaVid_2ce4Pid_7479", L"ESMART Token (Micron)"},
          {L"1839", L"37068", L"Bus_1Cl_04eaVid_072fPid_90cc", L"Идентификационная карта"},
      } {}

const BuiltInDevice& CDevicePolicyTransformer::Device(DeviceRow row) const {
    auto index = static_cast<size_t>(row);
    if (index >= devices_.size()) {
        KV_RAISE_ERROR_CODE(L"CDevicePolicyTransformer::Device", kErrorInvalidParameter);
    }
    return devices_[index];
}

std::vector<DeviceUpdate> CDevicePolicyTransformer::UpdateSteps(SchemaVersion serverVersion) const {
    std::vector<DeviceUpdate> steps;
    const BuiltInDevice& jaCartaSfGost = Device(DeviceRow::JaCartaSfGost);
    // Version 8.2 alone does not know this token.
    if (serverVersion == kVersion82) {
        steps.push_back(RemoveDevice(jaCartaSfGost.uniqueName));
    } else {
        steps.push_back(AddDevice(jaCartaSfGost));
    }
    if (serverVersion >= kVersion82) {
        steps.push_back(AddDevice(Device(DeviceRow::AthenaBioComboCcid)));
        steps.push_back(SetDescription(kAthenaBioCombo, L"Athena ASEDrive IIIe Bio Combo"));
    }
    if (serverVersion >= kVersion84) {
        for (DeviceRow row : {DeviceRow::JaCartaLt, DeviceRow::EsmartTokenAcs,
                              DeviceRow::EsmartTokenMicron, DeviceRow::IdentificationCard}) {
            steps.push_back(AddDevice(Device(row)));
        }
        for (const wchar_t* uniqueName : kDroppedFrom84) {
            steps.push_back(RemoveDevice(uniqueName));
        }
    }
    return steps;
}

}  // namespace KvMigration
