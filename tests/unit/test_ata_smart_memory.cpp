// The SMART and log pages when memory runs out while they build their
// entries. This program counts its allocations and fails the chosen one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "devlib/ata/orvlib_buffer_sata_logs.h"
#include "unit/ata_page_helpers.h"

namespace {
// Allocations that still succeed; negative: all of them.
int allocationsLeft = -1;
}  // namespace

void* operator new(std::size_t size) {
  if (allocationsLeft == 0) throw std::bad_alloc();
  if (allocationsLeft > 0) --allocationsLeft;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace VazidaRaduru;
using namespace VazidaRaduru::VazidaRaduruSata::VazidaRaduruSataInternal;

namespace {

// The word action throws when only the given number of allocations succeed.
template <typename Action>
u64 thrownWithAllocations(int allowed, Action action) {
  u64 word = 0;
  allocationsLeft = allowed;
  try {
    action();
  } catch (u64 thrown) {
    word = thrown;
  }
  allocationsLeft = -1;
  return word;
}

TEST(AtaPagesOutOfMemory, AttributeTableKeepsNoEntryAndThrowsCode8) {
  OrvAtaSmartData smart;
  OrvAtaSmartAttrBuf table(&smart);
  for (int allowed : {0, 1, 40})
    EXPECT_TRUE(isSataStatus(thrownWithAllocations(allowed, [&] { table.createAttrs(); }), 8)) << allowed;
  EXPECT_TRUE(isSataStatus(thrownStatus([&] { table.getAttr(1); }), 7)) << "no entry kept";
  table.createAttrs();
  EXPECT_EQ(table.getAttr(30)->getBuffer(), smart.getBuffer() + 350);

  EXPECT_TRUE(isSataStatus(thrownWithAllocations(10, [&] { OrvAtaSmartAttrBuf other(&smart); }), 8));
}

TEST(AtaPagesOutOfMemory, LogPagesThrowCode8) {
  EXPECT_TRUE(isSataStatus(thrownWithAllocations(20, [] { OrvAtaExtSmartSelfTestLog log; }), 8));
  EXPECT_TRUE(isSataStatus(thrownWithAllocations(20, [] { OrvAtaExtComprSmartErrLogPage page(1); }), 8));
}

}  // namespace
