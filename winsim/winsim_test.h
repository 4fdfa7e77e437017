// What the simulated machine records for tests to read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "winsim/win32_base.h"

namespace winsim {

struct EventRecord {
  std::string source;
  WORD type = 0;
  WORD category = 0;
  DWORD eventId = 0;
  std::vector<std::string> strings;  // UTF-8
};

// Events reported since the process started (or since clearEvents). When the
// environment variable WINSIM_EVENTLOG names a file, each event is also
// appended there as one line "source|type|id|string".
std::vector<EventRecord>& events();
void clearEvents();

// Makes the next RegisterEventSourceW calls fail (the event log is down).
void setEventLogAvailable(bool available);

}  // namespace winsim

namespace winsim {

// One DeviceIoControl call the storage stack received, as it found it.
struct StorageRequest {
  std::string device;            // "PHYSICALDRIVE0", or a storage port's "Scsi0:"
  std::string name;              // the control code's name, e.g. "IOCTL_SCSI_PASS_THROUGH"
  DWORD code = 0;
  DWORD property = 0;            // IOCTL_STORAGE_QUERY_PROPERTY: the PropertyId
  // SCSI pass-through: the CDB; ATA pass-through: the 16-byte register
  // block (current values at even bytes, previous values at odd bytes).
  std::vector<uint8_t> command;
  USHORT ataFlags = 0;
  UCHAR dataIn = 0;              // SCSI pass-through's DataIn
  ULONG dataLength = 0;
  // Where the caller's data lay: the direct forms' data buffer, or the place
  // in the caller's own request buffer.
  const void* data = nullptr;
  ULONG timeout = 0;
  UCHAR scsiStatus = 0;          // as answered
  // IOCTL_SCSI_MINIPORT: the request's ControlCode and the ReturnCode
  // answered; for a CSMI STP pass-through the 20-byte command FIS is the
  // command, uFlags the flags and uDataLength the data length; for the RAID
  // driver's firmware download the data length is the piece's BufferSize;
  // for its NVMe pass-through the submission entry is the command, and the
  // data area's offset and length and the queue type are kept.
  DWORD miniportCode = 0;
  DWORD returnCode = 0;
  ULONG stpFlags = 0;
  ULONG dataOffset = 0;
  UCHAR queueType = 0;
  DWORD error = 0;               // 0 when the call succeeded
};

// The last whole firmware image the ATA drive of that device number (or,
// behind a RAID controller, of that number in the machine file) took
// (activated, or saved for a later activation) in this process, as the
// drive received it: whole 512-byte blocks. Empty when none.
std::vector<uint8_t> receivedFirmwareImage(uint32_t deviceNumber);

// True while the storage stack answers a DeviceIoControl call: what is
// allocated meanwhile is the machine's, not the program's.
bool answeringRequest();

// The requests since the process started (or since clearStorageTrace).
std::vector<StorageRequest>& storageTrace();
void clearStorageTrace();

// How many requests each entry of the machine's "faults" list matched since
// the machine was loaded, in the list's order, whether it hit them or not
// (an entry that lets more requests pass than a run makes counts them all).
std::vector<unsigned> faultMatches();

}  // namespace winsim
