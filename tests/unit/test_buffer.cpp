// Buffers, windows on them, log buffers, their dumps, and the result
// containers and items the data structures export into.
#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "devlib/orvlib_buffer_devdump.h"
#include "devlib/orvlib_gendata.h"
#include "unit/buffer_helpers.h"
#include "unit/scratch.h"

using namespace VazidaRaduru;
using namespace buffer_test;

namespace {

using Bytes = std::vector<u8>;
const std::string kSeparator = std::string(57, '-') + "\n";

std::string blankGroups(int count) { return std::string(3 * count, ' '); }

std::string plainDump(OrvBuffer& buffer) {
  std::stringstream out;
  buffer.OrvBuffer::hexDump(out);
  return out.str();
}

// Each word is a failure of the buffer family with the code beside it.
void expectRefusals(std::initializer_list<std::pair<u64, u32>> rows) {
  size_t row = 0;
  for (const auto& r : rows) EXPECT_TRUE(isBufferStatus(r.first, r.second)) << "row " << row++;
}

TEST(Buffer, ConstructionResizeAndCopies) {
  OrvBuffer big(512, ORV_BIG_ENDIAN);
  EXPECT_EQ(bytesOf(big), Bytes(512, 0));
  EXPECT_EQ(big.getEndianess(), ORV_BIG_ENDIAN);

  OrvBuffer buffer(16, ORV_LITTLE_ENDIAN);
  buffer.setByte(0xAB);
  u8* memory = buffer.getBuffer();
  ASSERT_EQ(buffer.resize(4), 0u);
  ASSERT_EQ(buffer.resize(16), 0u);
  EXPECT_EQ(buffer.getBuffer(), memory) << "shrinking and growing within the allocation keep it";
  Bytes expected(32, 0);
  for (int i = 0; i < 4; ++i) expected[i] = 0xAB;
  ASSERT_EQ(buffer.resize(32), 0u);
  EXPECT_EQ(bytesOf(buffer), expected) << "bytes given up come back as zeros";

  auto source = std::make_unique<OrvBuffer>(filled({1, 2, 3, 4, 5}, ORV_BIG_ENDIAN));
  OrvBuffer copy(*source);
  OrvBuffer assigned(2, ORV_LITTLE_ENDIAN);
  assigned = *source;
  source.reset();
  EXPECT_EQ(bytesOf(copy), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(bytesOf(assigned), (Bytes{1, 2, 3, 4, 5}));
  EXPECT_EQ(assigned.getEndianess(), ORV_BIG_ENDIAN);

  OrvBuffer empty;
  expectRefusals({{thrownStatus([] { OrvBuffer none(0, ORV_LITTLE_ENDIAN); }), 6},
                  {buffer.resize(0), 6},
                  {thrownStatus([&] { OrvBuffer bad(empty); }), 6},
                  {thrownStatus([&] { assigned = empty; }), 6}});
  EXPECT_EQ(buffer.getLength(), 32u);
  EXPECT_EQ(bytesOf(assigned), (Bytes{1, 2, 3, 4, 5}));

  // Equal lengths keep the memory, so views made before stay valid.
  OrvBufBits view = assigned.dword(0, 0, 32);
  memory = assigned.getBuffer();
  assigned = filled({0x12, 0x34, 0x56, 0x78, 0}, ORV_BIG_ENDIAN);
  EXPECT_EQ(assigned.getBuffer(), memory);
  EXPECT_EQ(view.getValue(), 0x12345678u);

  // Contents replaced from their own bytes are moved, not zeroed.
  buffer = filled({0, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_EQ(buffer.setBuffer(buffer.getBuffer() + 4, 4, ORV_BIG_ENDIAN), 0u);
  EXPECT_EQ(bytesOf(buffer), (Bytes{4, 5, 6, 7}));
  EXPECT_EQ(buffer.getEndianess(), ORV_BIG_ENDIAN);
  EXPECT_TRUE(isBufferStatus(buffer.setBuffer(buffer.getBuffer(), 0, ORV_LITTLE_ENDIAN), 6));
  OrvBuffer other = filled({9, 8, 7, 6, 5, 4});
  OrvSubBuffer tail(other, 2, 4);
  other = tail;
  EXPECT_EQ(bytesOf(other), (Bytes{7, 6, 5, 4}));
  other = filled({3});
  EXPECT_EQ(bytesOf(other), Bytes{3});
}

TEST(Buffer, CopyData) {
  OrvBuffer source = filled({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  OrvBuffer target(6, ORV_LITTLE_ENDIAN);
  EXPECT_EQ(target.copyData(source, 0, 0), 0u) << "length 0: as much as fits";
  EXPECT_EQ(bytesOf(target), (Bytes{0, 1, 2, 3, 4, 5}));
  target.resetZero();
  OrvBuffer empty;
  const u8 bytes[] = {9, 8, 7, 6, 5};
  expectRefusals({{target.copyData(source, 8, 4), 7},
                  {target.copyData(source, 4, 0xFFFFFFFEu), 7},  // offset + length wraps in 32 bits
                  {target.copyData(source, 0, 7), 7},            // length 0, offset past the shorter buffer
                  {empty.copyData(source, 2, 0), 2},
                  {target.copyData(empty, 2, 0), 7},
                  {target.copyData(bytes, 7, 0), 7},
                  {target.copyData(bytes, 0xFFFFFFFFu, 1), 7},
                  {target.copyData(static_cast<const u8*>(nullptr), 1, 0), 2},
                  {empty.copyData(bytes, 1, 0), 2}});
  EXPECT_EQ(bytesOf(target), Bytes(6, 0));

  EXPECT_EQ(target.copyData(source, 3, 7), 0u);
  EXPECT_EQ(target.copyData(source, 0, 4), 0u) << "length 0 copies min(6, 10) - 4 bytes";
  EXPECT_EQ(bytesOf(target), (Bytes{4, 5, 9, 0, 0, 0}));
  EXPECT_EQ(target.copyData(source, 0, 6), 0u);
  EXPECT_EQ(target.copyData(empty, 0, 0), 0u);
  EXPECT_EQ(target.copyData(bytes, 3, 0), 0u);
  EXPECT_EQ(target.copyData(bytes, 2, 2), 0u);
  EXPECT_EQ(bytesOf(target), (Bytes{7, 6, 7, 0, 0, 0}));

  // Within one buffer the copy is a move.
  OrvBuffer buffer = filled({0, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_EQ(buffer.copyData(buffer, 6, 2), 0u);
  EXPECT_EQ(bytesOf(buffer), (Bytes{2, 3, 4, 5, 6, 7, 6, 7}));
  ASSERT_EQ(buffer.copyData(buffer.getBuffer(), 3, 1), 0u);
  EXPECT_EQ(bytesOf(buffer), (Bytes{3, 4, 5, 5, 6, 7, 6, 7}));
}

TEST(Buffer, IndexingComparisonAndFills) {
  OrvBuffer buffer = filled({1, 2, 3, 4, 5});
  EXPECT_EQ(buffer[4], 5);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { buffer[5]; }), 7));
  const u8 same[] = {1, 2, 3, 4, 5};
  OrvBuffer other = filled({0, 0, 3, 4, 5});
  const std::pair<bool, bool> comparisons[] = {
      {buffer.compare(same, 5), true},           {buffer.compare(same, 4), false},
      {buffer.compare(other, 2, 3), true},       {buffer.compare(other, 2, 0), true},
      {buffer.compare(other, 1, 2), false},      {buffer.compare(other, 5, 1), false},
      {buffer.compare(other, 4, 0xFFFFFFFFu), false}, {buffer.compare(other), false},
      {buffer.compare(filled({1, 2, 3, 4, 5})), true}};
  for (size_t i = 0; i < std::size(comparisons); ++i) EXPECT_EQ(comparisons[i].first, comparisons[i].second) << i;

  // Fills repeat the value least significant byte first.
  OrvBuffer little(5, ORV_LITTLE_ENDIAN), big(5, ORV_BIG_ENDIAN), wide(10, ORV_LITTLE_ENDIAN);
  little.setWord(0x1234);
  big.setWord(0x1234);
  wide.setQWord(0x0807060504030201ull);
  EXPECT_EQ(bytesOf(little), (Bytes{0x34, 0x12, 0x34, 0x12, 0x34}));
  EXPECT_EQ(bytesOf(big), (Bytes{0x34, 0x12, 0x34, 0x12, 0x12}));
  EXPECT_EQ(bytesOf(wide), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 1, 2}));

  // A missed byte stays 0; a random byte is 0 once in 256, so 40 rounds
  // hide a missed byte with odds of 1 in 256^40.
  OrvBuffer random(13, ORV_LITTLE_ENDIAN);
  std::vector<bool> seenNonZero(13, false);
  for (int round = 0; round < 40; ++round) {
    random.resetZero();
    random.setRandom();
    for (u32 i = 0; i < 13; ++i) seenNonZero[i] = seenNonZero[i] || random[i] != 0;
  }
  EXPECT_EQ(seenNonZero, std::vector<bool>(13, true));
}

TEST(BufferDump, ExactTextInEveryForm) {
  std::stringstream out;
  out << "previous contents that must vanish";
  OrvBuffer().hexDump(out);
  EXPECT_EQ(out.str(), kSeparator + "Empty Buffer\n" + kSeparator);
  filled({0x41, 0x42, 0x00}).hexDump(out);
  EXPECT_EQ(out.str(), kSeparator + "00000000: 41 42 00 " + blankGroups(13) + "  'AB.'\n" + kSeparator);

  Bytes bytes;
  for (int i = 0; i < 17; ++i) bytes.push_back(static_cast<u8>(0x1F + i * 7));
  const std::string firstRow = "00000000: 1f 26 2d 34 3b 42 49 50 57 5e 65 6c 73 7a 81 88   '.&-4;BIPW^elsz..'\n";
  filled(bytes).hexDump(out);
  EXPECT_EQ(out.str(), kSeparator + firstRow + "00000010: 8f " + blankGroups(15) + "  '.'\n" + kSeparator);
  bytes.pop_back();
  filled(bytes).hexDump(out);
  EXPECT_EQ(out.str(), kSeparator + firstRow + kSeparator);
  OrvBuffer(0x120, ORV_LITTLE_ENDIAN).hexDump(out);
  EXPECT_NE(out.str().find("\n00000110: 00 "), std::string::npos) << "row addresses count in hex";

  out.str("x:");
  out.seekp(0, std::ios::end);
  filled({0x0A, 0xFF}).strDump(out);
  OrvBuffer().strDump(out);
  EXPECT_EQ(out.str(), "x:0a ff Empty Buffer") << "strDump appends";

  // The file forms write the same text and the raw bytes; no file, nothing.
  OrvBuffer buffer = filled({0x0A, 0xFF, 0x30});
  EXPECT_EQ(withoutCarriageReturns(writtenTo([&](std::FILE* file) { buffer.hexDump(file); })), plainDump(buffer));
  EXPECT_EQ(writtenTo([&](std::FILE* file) { buffer.binDump(file); }), std::string("\x0a\xff\x30", 3));
  buffer.hexDump(static_cast<void*>(nullptr));
  buffer.binDump(nullptr);
}

// ------------------------------------------------------------ windows

// A data class may copy-construct its window base; the window refuses.
struct CopiedWindow : OrvSubBuffer {
  using OrvSubBuffer::OrvSubBuffer;
  CopiedWindow(const CopiedWindow& other) : OrvSubBuffer(other) {}
};

TEST(Window, SharesTheParentsBytesAndCannotBeResizedRefilledCopiedOrAssigned) {
  OrvBuffer parent(512, ORV_BIG_ENDIAN);
  parent[500] = 0x42;
  OrvSubBuffer window(&parent, 500, 12);
  EXPECT_TRUE(window.getLength() == 12 && window[0] == 0x42 && window.getEndianess() == ORV_BIG_ENDIAN);
  window.word(2, 0, 16).setValue(0xABCD);
  EXPECT_TRUE(parent[502] == 0xAB && parent[503] == 0xCD);
  EXPECT_EQ(OrvSubBuffer(parent, 511, 0).getLength(), 0u);

  // A window on a window is bound by the inner window.
  OrvSubBuffer record(parent, 16, 8);
  OrvSubBuffer inner(record, 4, 4);
  inner[0] = 0x99;
  EXPECT_EQ(parent[20], 0x99);

  OrvBuffer source(4, ORV_LITTLE_ENDIAN);
  {
    OrvSubBuffer middle(parent, 8, 8);
    OrvSubBuffer other(parent, 0, 8);
    OrvBuffer& asBuffer = middle;
    CopiedWindow copyable(parent, 0, 4);
    const u8 bytes[4] = {1, 2, 3, 4};
    expectRefusals({{thrownStatus([&] { OrvSubBuffer beyond(record, 4, 5); }), 7},
                    {middle.resize(4), 1},
                    {middle.setBuffer(bytes, 4, ORV_LITTLE_ENDIAN), 1},
                    {thrownStatus([&] { middle = other; }), 1},
                    {thrownStatus([&] { asBuffer = source; }), 1},
                    {thrownStatus([&] { CopiedWindow copy(copyable); }), 1}});
    EXPECT_TRUE(middle.getLength() == 8 && middle.getEndianess() == ORV_BIG_ENDIAN);
    EXPECT_EQ(middle.copyData(bytes, 4, 0), 0u) << "copying into a window writes the parent";
  }
  // The windows are gone; the parent still owns its bytes.
  EXPECT_TRUE(parent[8] == 1 && parent[12] == 0 && parent.getLength() == 512);
}

TEST(Window, OutOfRangeThrowsCode7AndThePointerFormSaysWhy) {
  OrvBuffer parent(512, ORV_LITTLE_ENDIAN);
  const std::pair<u32, u32> pointerCases[] = {{500, 13}, {0xFFFFFFF0u, 0x20}};
  const char* const reasons[] = {"Offset =500    Offset + Length = 513\n Parent Length = 512\n",
                                 "Offset =4294967280    Offset + Length = 4294967312\n Parent Length = 512\n"};
  for (size_t i = 0; i < 2; ++i) {
    testing::internal::CaptureStdout();
    u64 word = thrownStatus([&] { OrvSubBuffer window(&parent, pointerCases[i].first, pointerCases[i].second); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), reasons[i]);
    EXPECT_TRUE(isBufferStatus(word, 7));
  }
  testing::internal::CaptureStdout();
  expectRefusals({{thrownStatus([&] { OrvSubBuffer window(parent, 512, 0); }), 7},
                  {thrownStatus([&] { OrvSubBuffer window(parent, 8, 0xFFFFFFFFu); }), 7}});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the reference form writes nothing";
  EXPECT_TRUE(isBufferStatus(thrownStatus([] { OrvSubBuffer window(static_cast<OrvBuffer*>(nullptr), 0, 1); }), 2));
}

// ------------------------------------------------------------ log buffers

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
  OrvLogBuffer longName(1, ORV_LITTLE_ENDIAN, 1, 0, std::string(300, 'n'));
  longName.hexDump(out);
  EXPECT_EQ(out.str(), std::string(255, 'n') + plainDump(longName)) << "long names are cut in the header";
  OrvLogBuffer empty;
  empty.hexDump(out);
  EXPECT_EQ(out.str(), " [Page: 0x00, SubPage: 0x0000] Hex-Dump\n" + plainDump(empty));
  EXPECT_TRUE(isBufferStatus(thrownStatus([] { OrvLogBuffer none(0, ORV_LITTLE_ENDIAN, 1, 0, "x"); }), 6));

  // Through the base and into files, the same text.
  OrvBuffer& base = log;
  EXPECT_EQ(base.getName(), "Self-test");
  std::string written = writtenTo([&](std::FILE* file) { base.hexDump(static_cast<void*>(file)); });
  EXPECT_EQ(withoutCarriageReturns(written), kHeaderSelfTest + plainDump(log));
}

TEST(LogBuffer, IdentificationAndCopies) {
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

  // Copies outlive their source.
  auto source = std::make_unique<OrvLogBuffer>(8, ORV_LITTLE_ENDIAN, 2, 0, "SMART / Health Information");
  source->setQWord(0x1122334455667788ull);
  OrvLogBuffer kept(*source);
  OrvLogBuffer keptByAssignment;
  keptByAssignment = *source;
  source.reset();
  EXPECT_EQ(kept.qword(0, 0, 64).getValue(), 0x1122334455667788ull);
  EXPECT_EQ(keptByAssignment.qword(0, 0, 64).getValue(), 0x1122334455667788ull);
  EXPECT_TRUE(kept.getName() == "SMART / Health Information" && keptByAssignment.getPageId() == 2);
}

// ------------------------------------------------------------ result containers

int destroyed = 0;

struct CountedBuffer : OrvBuffer {
  CountedBuffer() : OrvBuffer(16, ORV_LITTLE_ENDIAN) {}
  ~CountedBuffer() override { ++destroyed; }
};

TEST(ResultContainer, OwnsItsBuffersAndHandsThemOverWhenMoved) {
  destroyed = 0;
  {
    OrvDevGenData<_OrvDataItem> data;
    for (int i = 0; i < 3; ++i) data.addBuffer(new CountedBuffer);
    data.addBuffer(new OrvLogBuffer(8, ORV_LITTLE_ENDIAN, 1, 0, "Error Information"));
  }
  EXPECT_EQ(destroyed, 3);
  destroyed = 0;
  OrvDevGenData<_OrvDataItem> data;
  data.addBuffer(new CountedBuffer);
  data.addItem(_OrvDataItem("Critical Warning", 1, 1, 0));
  data.clear();
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(data.items.empty() && data.buffers.empty());
  data.clear();
  EXPECT_EQ(destroyed, 1) << "a second clear deletes nothing";
  data.addBuffer(new CountedBuffer);  // filled again, freed by the destructor

  destroyed = 0;
  auto source = std::make_unique<OrvDevGenData<_OrvNvmNsItem>>();
  auto* identify = new OrvBuffer(4096, ORV_LITTLE_ENDIAN);
  identify->setDWord(0xA5A5A5A5u);
  source->addBuffer(identify);
  source->addBuffer(new CountedBuffer);
  source->addItem({1, {0, 1}});
  OrvDevGenData<_OrvNvmNsItem> moved(std::move(*source));
  source.reset();
  EXPECT_EQ(destroyed, 0);
  ASSERT_EQ(moved.buffers.size(), 2u);
  EXPECT_EQ(moved.buffers[0]->dword(4092, 0, 32).getValue(), 0xA5A5A5A5u);
  EXPECT_EQ(moved.items[0].controllerIds.size(), 2u);
  OrvDevGenData<_OrvNvmNsItem> target;
  target.addBuffer(new CountedBuffer);
  target = std::move(moved);
  EXPECT_EQ(destroyed, 1) << "the target's own buffers are deleted";
  EXPECT_EQ(target.buffers.size(), 2u);
  EXPECT_TRUE(moved.buffers.empty());
}

// An item as one line: name, kind (0 number, 1 text, 2 flag), value, text, id, flag.
std::string described(const _OrvDataItem& item) {
  return item.name + "|" + std::to_string(item.kind) + "|" + std::to_string(item.value) + "|" + item.text + "|" +
         std::to_string(item.id) + "|" + std::to_string(item.flag);
}

TEST(DataItem, FromNumbersTextsViewsAndFields) {
  u8 bytes[12] = {0x20, 0xB7, 0, 0, 'A', 'B', 0, 0, 0, 0, 0, 0};
  OrvBufField flag(bytes, 0, 5, 5, "Cache supported", ORV_LITTLE_ENDIAN);
  const std::pair<_OrvDataItem, std::string> cases[] = {
      {_OrvDataItem("Composite Temperature", 310, 4, 9), "Composite Temperature|0|310||4|9"},
      {_OrvDataItem("Model", std::string("MODEL C")), "Model|1|0|MODEL C|0|0"},
      {_OrvDataItem("Serial", "S4"), "Serial|1|0|S4|0|0"},
      {_OrvDataItem(flag), "Cache supported|2|1||0|0"},
      {_OrvDataItem(OrvByteField(bytes, 1, "Error log page entries (ELPE)")), "Error log page entries (ELPE)|0|183||0|0"},
      // The third argument is not used; the last is the flag.
      {_OrvDataItem("Firmware active without reset", OrvBufBits(bytes, 1, 2, 2, ORV_LITTLE_ENDIAN), 77, 3),
       "Firmware active without reset|2|1||0|3"},
      {_OrvDataItem("Number of firmware slots", OrvBufBits(bytes, 1, 1, 3, ORV_LITTLE_ENDIAN), 0, 0),
       "Number of firmware slots|0|3||0|0"},
      {_OrvDataItem(OrvBufAscFld(bytes, 4, 8, "Firmware revision (FR)", ORV_LITTLE_ENDIAN)),
       "Firmware revision (FR)|1|0|AB|0|0"},
  };
  for (const auto& c : cases) EXPECT_EQ(described(c.first), c.second);
  bytes[0] = 0;
  EXPECT_EQ(_OrvDataItem(flag).value, 0u);
}

// ------------------------------------------------------------ device dump records

// A feature's current and saved values, each read or failed: the buffer
// holds header and data of each read value, a bare header for a failed one.
TEST(DumpFeatureBuffer, LayoutAfterEitherReadFailsOrSucceeds) {
  struct Case {
    u32 dataLength;
    bool currentRead, savedRead, savedFirst;
  };
  const Case cases[] = {{4096, true, true, false},  {4096, false, true, false}, {4096, true, false, false},
                        {100, false, false, false}, {100, false, false, true},  {0, false, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.dataLength) + (c.currentRead ? " current" : "") + (c.savedRead ? " saved" : ""));
    OrvDevDumpFeatureBuffer buffer(c.dataLength);
    ASSERT_EQ(bytesOf(buffer), Bytes(16 + 2 * c.dataLength, 0)) << "made zeroed";
    u8* bytes = buffer.getBuffer();
    EXPECT_EQ(buffer.getCurrent().getDataView() == nullptr, c.dataLength == 0);
    // Fills one value as the device does after a successful read; a stale
    // feature value stays in a failed header.
    auto settle = [&](OrvDevDumpFeatureHeader& header, bool read, u32 value, u8 fill, bool current) {
      header.featureValue.setValue(value);
      if (!read) return current ? buffer.dropCurrentData() : buffer.dropSavedData();
      header.validity.setValue(1);
      header.dataLength.setValue(c.dataLength);
      Bytes block(c.dataLength, fill);
      ASSERT_EQ(header.getDataView()->copyData(block.data(), c.dataLength, 0), 0u);
    };
    if (c.savedFirst) settle(buffer.getSaved(), c.savedRead, 0xAABBCCDD, 0x5A, false);
    settle(buffer.getCurrent(), c.currentRead, 0x11223344, 0xC1, true);
    if (!c.savedFirst) settle(buffer.getSaved(), c.savedRead, 0xAABBCCDD, 0x5A, false);
    if (!c.currentRead) buffer.dropCurrentData();  // a second drop changes nothing
    if (!c.savedRead) buffer.dropSavedData();

    Bytes expected;
    for (auto [read, value, fill] : {std::tuple<bool, u32, u8>{c.currentRead, 0x11223344, 0xC1},
                                     std::tuple<bool, u32, u8>{c.savedRead, 0xAABBCCDD, 0x5A}}) {
      u16 length = read ? static_cast<u16>(c.dataLength) : 0;
      Bytes header = {read, static_cast<u8>(value), static_cast<u8>(value >> 8), static_cast<u8>(value >> 16),
                      static_cast<u8>(value >> 24), static_cast<u8>(length), static_cast<u8>(length >> 8), 0};
      expected.insert(expected.end(), header.begin(), header.end());
      expected.insert(expected.end(), length, fill);
    }
    EXPECT_EQ(bytesOf(buffer), expected);
    EXPECT_EQ(buffer.getBuffer(), bytes) << "shrunk in place";
    u32 savedAt = 8 + (c.currentRead ? c.dataLength : 0);
    EXPECT_EQ(buffer.getSaved().getBuffer(), bytes + savedAt);
    OrvSubBuffer* savedData = buffer.getSaved().getDataView();
    EXPECT_EQ(savedData ? savedData->getBuffer() : nullptr, c.savedRead ? bytes + savedAt + 8 : nullptr);
  }
  OrvDevDumpFeatureBuffer names(0);
  EXPECT_EQ(names.getCurrent().featureValue.getName(), "Feature Value");
  EXPECT_EQ(names.getCurrent().validity.getName(), "Validity");
  EXPECT_EQ(names.getCurrent().dataLength.getName(), "Data Length");

  // Lengths that cannot be held are refused.
  OrvBuffer parent(20, ORV_LITTLE_ENDIAN);
  expectRefusals({{thrownStatus([] { OrvDevDumpFeatureBuffer huge(0xFFFFFFF8u); }), 6},
                  {thrownStatus([&] { OrvDevDumpFeatureHeader header(&parent, 16, 0); }), 7},
                  {thrownStatus([&] { OrvDevDumpFeatureHeader header(&parent, 0, 13); }), 7}});
  EXPECT_EQ(OrvDevDumpFeatureHeader(&parent, 0, 12).getDataView()->getLength(), 12u);
}

struct Counted : OrvBuffer {
  explicit Counted(int& deleted) : OrvBuffer(1, ORV_LITTLE_ENDIAN), deleted(deleted) {}
  ~Counted() override { ++deleted; }
  int& deleted;
};

TEST(DumpFileRecords, HeadersOwnTheirRecordsAndWriteTheirBytes) {
  int deleted = 0;
  {
    OrvDevDumpFileHeader header(3);
    expectValues({{header.getLength(), 32}, {header.entryCount.getValue(), 3}, {header.headerLength.getValue(), 32}});
    header.signature.setValue("VORMEL DUMP FILE AND MORE");
    EXPECT_EQ(header.signature.getValue(), "VORMEL DUMP FILE");
    header.entry(0) = new Counted(deleted);
    header.entry(2) = new Counted(deleted);
    EXPECT_TRUE(isBufferStatus(thrownStatus([&] { header.entry(3); }), 7));
    header.entryCount.setValue(1000);  // the count in the bytes does not size the array
  }
  EXPECT_EQ(deleted, 2);
  OrvDevDumpFileHeader empty(0);
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { empty.entry(0); }), 7));

  OrvBuffer file(64, ORV_LITTLE_ENDIAN);
  OrvDevDumpDataHeader data(&file, 40);
  data.dataSize.setValue(0x01020304);
  data.dataType.setValue(5);
  expectValues({{file[40], 5}, {file[60], 0x04}, {file[63], 0x01}});
  EXPECT_TRUE(isBufferStatus(thrownStatus([&] { OrvDevDumpDataHeader outside(&file, 41); }), 7));

  OrvDevDumpInfoBuffer info;
  ASSERT_EQ(info.numbers.size(), 10u);
  const std::string model = "VNDR QX9 NVMe SSD 2TB WITH A FULL MODEL!";  // all 40 bytes
  info.modelNumber.setValue(model + "AND MORE");
  info.numbers[9].setValue(0x7F);
  EXPECT_EQ(info.modelNumber.getValue(), model);
  expectValues({{info[104], 0x7F}, {info.getLength(), 108}});
  EXPECT_EQ(info.numbers[0].getName(), "Bus Type");
  EXPECT_EQ(info.numbers[9].getName(), "Dump Time High");
}

}  // namespace
