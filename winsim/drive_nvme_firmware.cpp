// Firmware of the NVMe controller. The record keeps what a controller keeps
// across a reset: the revision in each slot ("slot1" to "slot7"; the active
// slot holds "firmware" unless given), "activeSlot" and "pendingSlot" (the
// slot a commit set for activation at the next reset). An image being
// downloaded is lost with the machine, as a reset loses it.
#include <cstring>
#include <string>

#include "winsim/drive_nvme.h"

namespace winsim {
namespace {

std::string slotKey(uint8_t slot) { return "slot" + std::to_string(slot); }

enum CommitAction : uint8_t {
  REPLACE = 0,
  REPLACE_ACTIVATE_AT_RESET = 1,
  ACTIVATE_AT_RESET = 2,
  ACTIVATE_NOW = 3,
};

}  // namespace

uint8_t NvmeDrive::slotCount() const {
  uint64_t count = number64("firmwareSlots", 2);
  return static_cast<uint8_t>(count < 1 ? 1 : count > 7 ? 7 : count);
}

uint8_t NvmeDrive::activeSlot() const {
  uint64_t slot = number64("activeSlot", 1);
  return static_cast<uint8_t>(slot < 1 || slot > slotCount() ? 1 : slot);
}

uint8_t NvmeDrive::pendingSlot() const {
  uint64_t slot = number64("pendingSlot", 0);
  return static_cast<uint8_t>(slot > slotCount() ? 0 : slot);
}

std::string NvmeDrive::slotRevision(uint8_t slot) const {
  return text(slotKey(slot).c_str(), slot == activeSlot() ? firmware().c_str() : "");
}

void NvmeDrive::reset() {
  download_.clear();
  uint8_t pending = pendingSlot();
  forget("pendingSlot");
  if (pending) activateSlot(pending);
}

std::vector<uint8_t> NvmeDrive::firmwareSlotLog() const {
  std::vector<uint8_t> page(512, 0);
  page[0] = static_cast<uint8_t>(activeSlot() | pendingSlot() << 4);
  for (uint8_t slot = 1; slot <= slotCount(); ++slot) {
    std::string revision = slotRevision(slot);
    if (!revision.empty()) std::memcpy(page.data() + 8 * slot, padded(revision, 8).data(), 8);
  }
  return page;
}

void NvmeDrive::downloadImage(NvmeIo& io) {
  uint64_t length = (static_cast<uint64_t>(io.dword(10)) + 1) * 4;
  uint64_t offset = static_cast<uint64_t>(io.dword(11)) * 4;
  if (io.phase != DataPhase::out || !io.data || io.length != length || offset + length > (1u << 26)) {
    download_.clear();
    return nvmeFail(io, NVME_INVALID_FIELD);
  }
  if (offset == 0) download_.clear();
  download_.put(static_cast<uint32_t>(offset), io.data, io.length);
}

void NvmeDrive::commit(NvmeIo& io) {
  uint8_t slot = static_cast<uint8_t>(io.dword(10) & 7);
  uint8_t action = static_cast<uint8_t>((io.dword(10) >> 3) & 7);
  if (action > ACTIVATE_NOW) return nvmeFail(io, NVME_INVALID_FIELD);
  bool replaces = action != ACTIVATE_AT_RESET;
  bool imageWaiting = download_.complete() && !download_.empty();
  // Activating now takes the waiting image into the slot first.
  if (action == ACTIVATE_NOW) replaces = imageWaiting;
  if (slot == 0) slot = (replaces && activeSlot() == 1 && firstSlotReadOnly()) ? 2 : activeSlot();
  if (replaces ? !writableSlot(slot) : slot > slotCount()) return nvmeFail(io, NVME_INVALID_FIRMWARE_SLOT);
  if (replaces) {
    const std::vector<uint8_t>& image = download_.bytes();
    if (!imageWaiting || !isFirmwareImage(image.data(), image.size())) {
      download_.clear();
      return nvmeFail(io, NVME_INVALID_FIRMWARE_IMAGE);
    }
    writeSlot(slot, firmwareRevision(image));
    download_.clear();
  } else if (slotRevision(slot).empty()) {
    return nvmeFail(io, NVME_INVALID_FIRMWARE_IMAGE);
  }
  switch (action) {
    case REPLACE:
      return;
    case REPLACE_ACTIVATE_AT_RESET:
    case ACTIVATE_AT_RESET:
      keepNumber("pendingSlot", slot);
      return;
    default:
      if (!activatesWithoutReset()) {
        keepNumber("pendingSlot", slot);
        return nvmeFail(io, NVME_REQUIRES_CONVENTIONAL_RESET);
      }
      forget("pendingSlot");
      activateSlot(slot);
      return;
  }
}

bool NvmeDrive::replaceAndActivate(uint8_t slot, const std::string& revision, bool atReset) {
  if (!writableSlot(slot)) return false;
  writeSlot(slot, revision);
  if (atReset) {
    keepNumber("pendingSlot", slot);
    return true;
  }
  forget("pendingSlot");
  activateSlot(slot);
  return true;
}

bool NvmeDrive::writableSlot(uint8_t slot) const {
  return slot >= 1 && slot <= slotCount() && !(slot == 1 && firstSlotReadOnly());
}

void NvmeDrive::writeSlot(uint8_t slot, const std::string& revision) {
  // The active slot's revision is the running one until it is replaced.
  uint8_t active = activeSlot();
  if (!member(slotKey(active).c_str())) keep(slotKey(active).c_str(), firmware());
  keep(slotKey(slot).c_str(), revision);
}

void NvmeDrive::activateSlot(uint8_t slot) {
  std::string revision = slotRevision(slot);
  keepNumber("activeSlot", slot);
  if (!revision.empty()) keep("firmware", revision);
}

}  // namespace winsim
