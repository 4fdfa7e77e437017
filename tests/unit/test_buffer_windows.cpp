#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

#include "devlib/orvlib_buffer.h"
#include "unit/buffer_helpers.h"
#include "unit/scratch.h"

using namespace VazidaRaduru;
using namespace buffer_test;

namespace {

std::string plainDump(OrvBuffer& buffer) {
  std::stringstream out;
  buffer.OrvBuffer::hexDump(out);
  return out.str();
}

TEST(Window, SharesTheParentsBytesAndByteOrder) {
  OrvBuffer parent(512, ORV_BIG_ENDIAN);
  parent[500] = 0x42;
  OrvSubBuffer window(&parent, 500, 12);
  EXPECT_TRUE(window.getLength() == 12 && window[0] == 0x42 && window.getEndianess() == ORV_BIG_ENDIAN);

  window.word(2, 0, 16).setValue(0xABCD);
  EXPECT_TRUE(parent[502] == 0xAB && parent[503] == 0xCD);

  OrvSubBuffer empty(parent, 511, 0);
  EXPECT_EQ(empty.getLength(), 0u);
}

TEST(Window, OutOfRangeThrowsCode7AndThePointerFormSaysWhy) {
  OrvBuffer parent(512, ORV_LITTLE_ENDIAN);
  testing::internal::CaptureStdout();
  u64 word = thrownStatus([&] { OrvSubBuffer window(&parent, 500, 13); });
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Offset =500    Offset + Length = 513\n Parent Length = 512\n");
  EXPECT_TRUE(isBufferStatus(word, 7));

  testing::internal::CaptureStdout();
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvSubBuffer window(parent, 512, 0); }), 7));
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvSubBuffer window(parent, 8, 0xFFFFFFFFu); }), 7))
      << "offset + length wraps in 32 bits";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the reference form writes nothing";

  testing::internal::CaptureStdout();
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvSubBuffer window(&parent, 0xFFFFFFF0u, 0x20); }), 7));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Offset =4294967280    Offset + Length = 4294967312\n Parent Length = 512\n");

  EXPECT_TRUE(isBufferStatus(thrownStatus([] { OrvSubBuffer window(static_cast<OrvBuffer*>(nullptr), 0, 1); }), 2));
}

TEST(Window, AWindowOnAWindowIsBoundByTheInnerWindow) {
  OrvBuffer parent(64, ORV_LITTLE_ENDIAN);
  OrvSubBuffer record(parent, 16, 8);
  OrvSubBuffer inner(record, 4, 4);
  inner[0] = 0x99;
  EXPECT_EQ(parent[20], 0x99);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvSubBuffer beyond(record, 4, 5); }), 7));
}

// A data class may copy-construct its window base; the window refuses.
struct CopiedWindow : OrvSubBuffer {
  using OrvSubBuffer::OrvSubBuffer;
  CopiedWindow(const CopiedWindow& other) : OrvSubBuffer(other) {}
};

TEST(Window, CannotBeResizedRefilledCopiedOrAssigned) {
  OrvBuffer parent(32, ORV_LITTLE_ENDIAN);
  parent.setByte(0x11);
  OrvBuffer source(4, ORV_LITTLE_ENDIAN);
  {
    OrvSubBuffer window(parent, 8, 8);
    const u8 bytes[4] = {1, 2, 3, 4};
    EXPECT_TRUE(isBufferStatus(window.resize(4), 1));
    EXPECT_TRUE(isBufferStatus(window.setBuffer(bytes, 4, ORV_BIG_ENDIAN), 1));
    EXPECT_TRUE(window.getLength() == 8 && window.getEndianess() == ORV_LITTLE_ENDIAN);

    OrvSubBuffer other(parent, 0, 8);
    EXPECT_TRUE(isBufferStatus(thrownStatus([&] { window = other; }), 1));
    OrvBuffer& asBuffer = window;
    EXPECT_TRUE(isBufferStatus(thrownStatus([&] { asBuffer = source; }), 1));
    CopiedWindow copyable(parent, 0, 4);
    EXPECT_TRUE(isBufferStatus(thrownStatus([&] { CopiedWindow copy(copyable); }), 1));

    EXPECT_EQ(window.copyData(bytes, 4, 0), 0u) << "copying into a window writes the parent";
  }
  // The windows are gone; the parent still owns its bytes.
  EXPECT_TRUE(parent[8] == 1 && parent[12] == 0x11 && parent.getLength() == 32);
}

const std::string kHeaderSelfTest = "Self-test [Page: 0x07, SubPage: 0x0000] Hex-Dump\n";

TEST(LogBuffer, DumpHeaderCarriesNameAndIds) {
  OrvLogBuffer log(20, ORV_LITTLE_ENDIAN, 7, 0, "Self-test");
  log[0] = 'N';
  std::stringstream out;
  out << "stale text";
  log.hexDump(out);
  EXPECT_EQ(out.str(), kHeaderSelfTest + plainDump(log));

  OrvLogBuffer vendor(4, ORV_BIG_ENDIAN, 0xC0, 0x1A2B, "Vendor log");
  vendor.hexDump(out);
  EXPECT_EQ(out.str(), "Vendor log [Page: 0xC0, SubPage: 0x1A2B] Hex-Dump\n" + plainDump(vendor));

  EXPECT_TRUE(isBufferStatus(thrownStatus([] { OrvLogBuffer none(0, ORV_LITTLE_ENDIAN, 1, 0, "x"); }), 6));
}

TEST(LogBuffer, NameOnlyIdentificationHidesTheIdsUntilCopied) {
  OrvLogBuffer log(4, ORV_LITTLE_ENDIAN, 7, 0, "Self-test");
  log.setIdentification("Self-test");
  EXPECT_TRUE(log.getPageId() == 0 && log.getSubPageId() == 0);
  std::stringstream out;
  log.hexDump(out);
  EXPECT_EQ(out.str(), "Self-test Hex-Dump\n" + plainDump(log));

  OrvLogBuffer copy(log);
  EXPECT_EQ(copy.getPageId(), 7) << "the copy shows the stored ids again";
  copy.hexDump(out);
  EXPECT_EQ(out.str(), kHeaderSelfTest + plainDump(copy));

  OrvLogBuffer assigned(1, ORV_LITTLE_ENDIAN, 2, 3, "other");
  assigned = log;
  EXPECT_EQ(assigned.getPageId(), 0) << "assignment keeps the name-only identification";
  assigned.setIdentification(0x0D, 0x0100, "Telemetry");
  EXPECT_TRUE(assigned.getPageId() == 0x0D && assigned.getSubPageId() == 0x0100 && assigned.getName() == "Telemetry");
}

TEST(LogBuffer, CopyOutlivesItsSource) {
  auto source = std::make_unique<OrvLogBuffer>(8, ORV_LITTLE_ENDIAN, 2, 0, "SMART / Health Information");
  source->setQWord(0x1122334455667788ull);
  OrvLogBuffer copy(*source);
  OrvLogBuffer assigned;
  assigned = *source;
  source.reset();
  EXPECT_EQ(copy.qword(0, 0, 64).getValue(), 0x1122334455667788ull);
  EXPECT_EQ(assigned.qword(0, 0, 64).getValue(), 0x1122334455667788ull);
  EXPECT_TRUE(copy.getName() == "SMART / Health Information" && assigned.getPageId() == 2);
}

TEST(LogBuffer, DumpsThroughTheBaseAndIntoFiles) {
  OrvLogBuffer log(3, ORV_LITTLE_ENDIAN, 1, 0, "Error Information");
  OrvBuffer& base = log;
  EXPECT_EQ(base.getName(), "Error Information");
  std::stringstream expected;
  log.hexDump(expected);

  std::string written = writtenTo([&](std::FILE* file) { base.hexDump(static_cast<void*>(file)); });
  EXPECT_EQ(withoutCarriageReturns(written), expected.str());
}

TEST(LogBuffer, LongNamesAreCutInTheHeader) {
  OrvLogBuffer log(1, ORV_LITTLE_ENDIAN, 1, 0, std::string(300, 'n'));
  std::stringstream out;
  log.hexDump(out);
  EXPECT_EQ(out.str(), std::string(255, 'n') + plainDump(log));

  OrvLogBuffer empty;
  empty.hexDump(out);
  EXPECT_EQ(out.str(), " [Page: 0x00, SubPage: 0x0000] Hex-Dump\n" + plainDump(empty));
}

}  // namespace
