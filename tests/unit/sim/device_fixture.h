// Devices of the library on a simulated machine, and their answers printed
// as one text each, so that a test compares a whole answer at once.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "devlib/orvlib_gendev.h"
#include "osl/orv_status.h"
#include "unit/log_capture.h"
#include "unit/sim/machine_fixture.h"

using DevicePtr = std::unique_ptr<VazidaRaduru::OrvGenDev>;

inline DevicePtr newDevice(u32 number, u32 nsid = 0, bool ignoreInitError = false, bool allocated = false) {
  return DevicePtr(VazidaRaduru::OrvGenDev::newOrvDevice("PHYSICALDRIVE" + std::to_string(number), nsid,
                                                         ignoreInitError, allocated));
}

// A status word as "0" or layer.file.code, for tables that mix outcomes.
inline std::string st(u64 word) {
  if (word == 0) return "0";
  return std::to_string(orv_status_layer_of(word)) + "." + std::to_string(word >> 48) + "." +
         std::to_string(orv_status_code(word));
}

// "revision|model|serial|component", or the failure's status.
inline std::string identText(VazidaRaduru::OrvGenDev& dev) {
  char revision[9] = {}, model[41] = {}, serial[21] = {}, component[9] = "xxxxxxx";
  u64 status = dev.getIdentStrings(revision, model, serial, component);
  if (status != 0) return st(status);
  return std::string(revision) + "|" + model + "|" + serial + "|" + component;
}

inline std::string revisionOf(VazidaRaduru::OrvGenDev& dev) {
  std::string text = identText(dev);
  return text.substr(0, text.find('|'));
}

// "current slot>next [number:revision:flag ...]" with one buffer kept, or the
// failure's status.
inline std::string firmwareText(VazidaRaduru::OrvGenDev& dev) {
  VazidaRaduru::OrvDevGenData<VazidaRaduru::_OrvFwInfoItem> info;
  u64 status = dev.getFirmwareInfo(info);
  if (status != 0 || info.items.size() != 1) return st(status) + " items " + std::to_string(info.items.size());
  const VazidaRaduru::_OrvFwInfoItem& item = info.items[0];
  std::string text = item.currentRevision + " " + std::to_string(item.currentSlot) + ">" +
                     std::to_string(item.nextSlot) + " [";
  for (const VazidaRaduru::_OrvFwSlot& slot : item.slots)
    text += std::to_string(slot.slotNumber) + ":" + slot.revision + ":" + std::to_string(slot.flag) + " ";
  return text + "] buffers " + std::to_string(info.buffers.size());
}

// The names, component, identification, capability bytes and state of a
// property record.
inline std::string propertyText(const VazidaRaduru::_OrvDevProperty& p) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, " id %u cap %02X/%02X state %u", p.identification, p.capabilities1,
                p.capabilities2, p.state);
  return std::string(p.modelNumber) + "|" + p.firmwareRevision + "|" + p.serialNumber + "|" + p.componentId +
         numbers;
}

// A firmware download: status, then "refreshed" and "reboot" where set.
// The flags start cleared and set respectively, so that both are seen set.
inline std::string downloadText(VazidaRaduru::OrvGenDev& dev, std::vector<u8> image, u8 deferred, u8 slot = 0,
                                bool dma = false) {
  bool refreshed = false, reboot = true;
  u64 status = dev.downloadFirmware(image.empty() ? nullptr : image.data(), static_cast<u32>(image.size()),
                                    &refreshed, &reboot, deferred, dma, slot);
  return st(status) + (refreshed ? " refreshed" : "") + (reboot ? " reboot" : "");
}

inline std::string activateText(VazidaRaduru::OrvGenDev& dev, u8 slot, u8 option) {
  bool refreshed = false, reboot = true;
  u64 status = dev.activateFirmware(&refreshed, &reboot, slot, option);
  return st(status) + (refreshed ? " refreshed" : "") + (reboot ? " reboot" : "");
}

// The level of the first line logged that starts with text; -1 for none.
inline int levelOf(const LogCapture& log, const std::string& text) {
  const LoggedLine* line = log.find(text);
  return line ? line->level : -1;
}

// Outcomes joined by ", " in the order written: the parts of a braced list
// are evaluated left to right, unlike the operands of +.
inline std::string inOrder(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}
