// Device installation services of the simulated machine: the present
// interfaces of a device interface class (the disks of the machine).
#pragma once

#include "winsim/win32_base.h"

typedef PVOID HDEVINFO;

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

typedef struct _SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
  DWORD cbSize;
  GUID InterfaceClassGuid;
  DWORD Flags;
  ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_W {
  DWORD cbSize;
  WCHAR DevicePath[1];
} SP_DEVICE_INTERFACE_DETAIL_DATA_W, *PSP_DEVICE_INTERFACE_DETAIL_DATA_W;

// Only DIGCF_DEVICEINTERFACE listings are served.
HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO deviceInfoSet, PSP_DEVINFO_DATA deviceInfoData,
                                 const GUID* interfaceClassGuid, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA deviceInterfaceData);
// The first call of a listing asks with no buffer and fails with
// ERROR_INSUFFICIENT_BUFFER, giving the size; cbSize must be that of the
// fixed part (8 on x64).
BOOL SetupDiGetDeviceInterfaceDetailW(HDEVINFO deviceInfoSet,
                                      PSP_DEVICE_INTERFACE_DATA deviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_W deviceInterfaceDetailData,
                                      DWORD deviceInterfaceDetailDataSize, PDWORD requiredSize,
                                      PSP_DEVINFO_DATA deviceInfoData);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO deviceInfoSet);

// The configuration manager's device tree: each device node has a handle
// (DEVINST) and an instance id; SP_DEVINFO_DATA.DevInst names the node of an
// interface's device.
typedef DWORD DEVINST;
typedef DWORD* PDEVINST;
typedef DWORD CONFIGRET;
#define CR_SUCCESS 0x00000000
#define CR_INVALID_POINTER 0x00000003
#define CR_INVALID_FLAG 0x00000004
#define CR_INVALID_DEVNODE 0x00000005
#define CR_NO_SUCH_DEVNODE 0x0000000D
#define CR_BUFFER_SMALL 0x0000001A
#define MAX_DEVICE_ID_LEN 200

// The node's parent; the root has none (CR_NO_SUCH_DEVNODE).
CONFIGRET CM_Get_Parent(PDEVINST parent, DEVINST node, ULONG flags);
// The node's instance id, NUL-terminated; a buffer too short for the id (its
// NUL not needed): CR_BUFFER_SMALL.
CONFIGRET CM_Get_Device_IDW(DEVINST node, PWSTR buffer, ULONG bufferLength, ULONG flags);
