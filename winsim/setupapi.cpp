// Device interface listings of the simulated machine: the disk class lists
// the machine's disks in the order of its description, the storage-port
// class its controllers; any other class is present but empty.
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "winsim/devnodes.h"
#include "winsim/faults.h"
#include "winsim/handles.h"
#include "winsim/machine.h"
#include "winsim/storage.h"
#include "winsim/win32.h"

using namespace winsim;

namespace {

constexpr GUID DISK_INTERFACES = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr GUID STORAGE_PORT_INTERFACES = {
    0x2ACCFE60, 0xC130, 0x11D2, {0xB0, 0x82, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
// The device setup classes of disks and of storage adapters.
constexpr GUID DISK_DEVICES = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID SCSI_ADAPTER_DEVICES = {
    0x4D36E97B, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr DWORD SPINT_ACTIVE = 0x00000001;

struct InterfaceSet : KernelObject {
  GUID interfaceClass;
  std::vector<std::u16string> paths;
  std::vector<DEVINST> nodes;  // the device of each interface
};

bool sameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

bool failedByFault(const char* function) {
  FaultRequest request("setupapi");
  request.name = function;
  const rapidjson::Value* fault = Machine::current().part<Faults>().take(request);
  if (!fault) return false;
  SetLastError(static_cast<DWORD>(faultNumber(*fault, "error", ERROR_GEN_FAILURE)));
  return true;
}

}  // namespace

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR, HWND, DWORD flags) {
  if (!classGuid || !(flags & DIGCF_DEVICEINTERFACE)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (failedByFault("SetupDiGetClassDevsW")) return INVALID_HANDLE_VALUE;
  auto set = std::make_shared<InterfaceSet>();
  set->interfaceClass = *classGuid;
  const StorageStack& stack = Machine::current().part<StorageStack>();
  if (sameGuid(*classGuid, DISK_INTERFACES))
    for (size_t i = 0; i < stack.disks().size(); ++i) {
      set->paths.push_back(stack.disks()[i]->path);
      set->nodes.push_back(diskNode(i));
    }
  if (sameGuid(*classGuid, STORAGE_PORT_INTERFACES))
    for (size_t i = 0; i < stack.ports().size(); ++i) {
      set->paths.push_back(stack.ports()[i]->path());
      set->nodes.push_back(portNode(i));
    }
  SetLastError(ERROR_SUCCESS);
  return newHandle(set);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA,
                                 const GUID* interfaceClassGuid, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA deviceInterfaceData) {
  auto set = objectAs<InterfaceSet>(deviceInfoSet);
  if (!set) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!interfaceClassGuid || !deviceInterfaceData ||
      deviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (!sameGuid(*interfaceClassGuid, set->interfaceClass) || memberIndex >= set->paths.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  if (failedByFault("SetupDiEnumDeviceInterfaces")) return FALSE;
  deviceInterfaceData->InterfaceClassGuid = set->interfaceClass;
  deviceInterfaceData->Flags = SPINT_ACTIVE;
  deviceInterfaceData->Reserved = memberIndex + 1;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO deviceInfoSet,
                                      PSP_DEVICE_INTERFACE_DATA deviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detailSize,
                                      PDWORD requiredSize, PSP_DEVINFO_DATA deviceInfoData) {
  auto set = objectAs<InterfaceSet>(deviceInfoSet);
  if (!set) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!deviceInterfaceData || deviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
      deviceInterfaceData->Reserved == 0 || deviceInterfaceData->Reserved > set->paths.size()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (failedByFault("SetupDiGetDeviceInterfaceDetailW")) return FALSE;
  const std::u16string& path = set->paths[deviceInterfaceData->Reserved - 1];
  DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                    (path.size() + 1) * sizeof(WCHAR));
  if (requiredSize) *requiredSize = needed;
  if (!detail) {
    SetLastError(detailSize ? ERROR_INVALID_USER_BUFFER : ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (detailSize < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (deviceInfoData) {
    if (deviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
      SetLastError(ERROR_INVALID_USER_BUFFER);
      return FALSE;
    }
    deviceInfoData->ClassGuid = sameGuid(set->interfaceClass, DISK_INTERFACES) ? DISK_DEVICES : SCSI_ADAPTER_DEVICES;
    deviceInfoData->DevInst = set->nodes[deviceInterfaceData->Reserved - 1];
    deviceInfoData->Reserved = 0;
  }
  std::memcpy(detail->DevicePath, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet) {
  if (!objectAs<InterfaceSet>(deviceInfoSet)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(deviceInfoSet);
}
