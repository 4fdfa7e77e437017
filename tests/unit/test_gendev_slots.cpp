// The generic device's operations keep their slots on both hosts: the order
// is part of the exported interface.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "devlib/orvlib_gendev.h"

namespace {

using VazidaRaduru::OrvGenDev;

// The vtable index of a virtual operation (both hosts follow the Itanium
// C++ ABI: the destructor takes the first two entries).
template <typename Member>
size_t vtableIndex(Member member) {
  struct {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  } raw;
  static_assert(sizeof member == sizeof raw, "pointer to member function");
  std::memcpy(&raw, &member, sizeof raw);
  return (raw.pointer - 1) / sizeof(void*);
}

TEST(GenericDeviceSlots, FixedOrder) {
  EXPECT_EQ(vtableIndex(&OrvGenDev::getIdentStrings), 1u + 1);
  EXPECT_EQ(vtableIndex(&OrvGenDev::downloadFirmware), 11u + 1);
  EXPECT_EQ(vtableIndex(&OrvGenDev::activateFirmware), 13u + 1);
  EXPECT_EQ(vtableIndex(&OrvGenDev::getCapacity), 21u + 1);
  EXPECT_EQ(vtableIndex(&OrvGenDev::readLog), 33u + 1);
  EXPECT_EQ(vtableIndex(&OrvGenDev::getContollerId), 46u + 1);
  EXPECT_EQ(vtableIndex(&OrvGenDev::getPowerMode), 56u + 1);
  EXPECT_EQ(vtableIndex(&OrvGenDev::refresh), 70u + 1);
  EXPECT_EQ(vtableIndex(&OrvGenDev::isSupportedDrive), 74u + 1);
}

}  // namespace
