#include "devlib/scsi/orvlib_scsi.h"

namespace VazidaRaduru {
namespace VazidaRaduruScsi {

OrvScsiDev::OrvScsiDev(std::string devicePath, bool) : OrvGenDev(devicePath) {}

u64 OrvScsiDev::getIdentStrings(char*, char*, char*, char*) { return unsupported(); }
u64 OrvScsiDev::fillDeviceInfo(_OrvDevProperty&) { return unsupported(); }
u64 OrvScsiDev::getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>&) { return unsupported(); }
u64 OrvScsiDev::downloadFirmware(u8*, u32, bool*, bool*, u8, bool, u8) { return unsupported(); }
u64 OrvScsiDev::activateFirmware(bool*, bool*, u8, u8) { return unsupported(); }
u64 OrvScsiDev::getCapacity(u64&, u32&, u8) { return unsupported(); }
u64 OrvScsiDev::spinUp(u8) { return unsupported(); }
u64 OrvScsiDev::spinDown(u8) { return unsupported(); }
u64 OrvScsiDev::getPowerMode(u8*) { return unsupported(); }
u64 OrvScsiDev::refresh() { return OrvGenDev::refresh(); }

}  // namespace VazidaRaduruScsi
}  // namespace VazidaRaduru
