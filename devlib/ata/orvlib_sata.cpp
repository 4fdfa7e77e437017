// ATA drives are not served by this build yet: making the device refuses
// the drive, so that the factory reports it as unsupported.
#include "devlib/ata/orvlib_sata.h"

#include "osl/orv_status.h"

namespace VazidaRaduru {
namespace VazidaRaduruSata {

OrvSataDev::OrvSataDev(std::string devicePath, bool) : OrvGenDev(devicePath) {
  throw ORV_LIB_STATUS(ORV_ERR_UNSUPPORTED_DEVICE);
}

u64 OrvSataDev::getIdentStrings(char*, char*, char*, char*) { return unsupported(); }
u64 OrvSataDev::fillDeviceInfo(_OrvDevProperty&) { return unsupported(); }
u64 OrvSataDev::getFirmwareInfo(OrvDevGenData<_OrvFwInfoItem>&) { return unsupported(); }
u64 OrvSataDev::downloadFirmware(u8*, u32, bool*, bool*, u8, bool, u8) { return unsupported(); }
u64 OrvSataDev::activateFirmware(bool*, bool*, u8, u8) { return unsupported(); }
u64 OrvSataDev::getCapacity(u64&, u32&, u8) { return unsupported(); }
u64 OrvSataDev::setFeature(u32, u32) { return unsupported(); }
u64 OrvSataDev::spinUp(u8) { return unsupported(); }
u64 OrvSataDev::spinDown(u8) { return unsupported(); }
u64 OrvSataDev::getPowerMode(u8*) { return unsupported(); }
u64 OrvSataDev::refresh() { return unsupported(); }

}  // namespace VazidaRaduruSata
}  // namespace VazidaRaduru
