#include "osl/osl_csmi.h"

#include <cstring>

#include "osl/orv_status.h"
#include "osl/osl_log.h"
#include "osl/osl_storage.h"

namespace {

struct Signature {
  u32 controlCode;
  char text[9];
};

const Signature signatures[] = {
    {1, "CSMIALL"},  {2, "CSMIALL"},  {3, "CSMIALL"},  {10, "CSMIARY"},
    {11, "CSMIARY"}, {20, "CSMISAS"}, {25, "CSMISAS"}, {27, "CSMISAS"},
    {30, "CSMISAS"}, {60, "CSMIPHY"}, {0xF0000040, "IntelFw "}, {0xF0002808, "IntelNvm"},
};

}  // namespace

u64 osl_csmi_signature(u32 controlCode, u8 out[8]) {
  for (const Signature& signature : signatures) {
    if (signature.controlCode != controlCode) continue;
    std::memcpy(out, signature.text, 8);
    return 0;
  }
  return ORV_OSL_STATUS(ORV_ERR_QUERY_DEVICE);
}

u64 osl_csmi_request(_OSL_PDEV* controller, u32 controlCode, void* buffer, u32 length,
                     bool logFailure) {
  std::memset(buffer, 0, length);
  SRB_IO_CONTROL* header = static_cast<SRB_IO_CONTROL*>(buffer);
  header->HeaderLength = OSL_CSMI_HEADER_LENGTH;
  header->Timeout = OSL_CSMI_TIMEOUT_SECONDS;
  header->ControlCode = controlCode;
  header->Length = length - OSL_CSMI_HEADER_LENGTH;
  u32 error = 0;
  u64 status = osl_csmi_signature(controlCode, header->Signature);
  if (status == 0)
    status = osl_ioctl(controller, IOCTL_SCSI_MINIPORT, buffer, length, buffer, length, &error);
  if (status != 0 && logFailure) {
    osl_log_ioctl_failure(OSL_LOG_ERROR, error);
    osl_log(OSL_LOG_ERROR, "Error: CSMI Return code: 0x%X\n",
            static_cast<unsigned>(header->ReturnCode));
  }
  return status;
}

u64 osl_csmi_get_driver_info(HANDLE handle) {
  _OSL_PDEV controller = {};
  controller.handle = handle;
  controller.target = OSL_NO_TARGET;
  osl_csmi_driver_info_buffer buffer;
  return osl_csmi_request(&controller, OSL_CSMI_DRIVER_INFO_CODE, &buffer, sizeof buffer, false);
}

u64 osl_csmi_list_drives(_osl_dev_info*) { return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED); }

u64 osl_csmi_open(_OSL_PDEV*) { return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED); }

u64 osl_csmi_controller_port(u8*) { return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED); }

u64 osl_csmi_raid_query(_OSL_PDEV*, _osl_dev_info*) {
  return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
}

u64 osl_csmi_raid_bus_dev_type(_OSL_PDEV*, _osl_dev_entry*) {
  return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
}

u64 osl_csmi_phy_describe(_OSL_PDEV*, _osl_dev_entry*) {
  return ORV_OSL_STATUS(ORV_ERR_FEATURE_UNSUPPORTED);
}
