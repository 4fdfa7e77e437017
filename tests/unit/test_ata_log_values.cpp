// Values of the ATA data classes as a caller reads them: signed SCT status
// temperatures, workload exports that do not depend on earlier exports, and
// an Area 1 container in big-endian byte order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devlib/ata/orvlib_buffer_sata_logs.h"
#include "unit/area1_helpers.h"
#include "unit/scratch.h"

using namespace area1_test;

namespace {

// ------------------------------------------------------------------- SCT

TEST(AtaSctTemperatures, PrintedAndExportedSigned) {
  struct Case {
    u8 byte;
    int celsius;
    const char* shown;
  };
  const Case cases[] = {{0xFB, -5, "fb [-5]"}, {0x28, 40, "28 [40]"}, {0x80, -128, "80 [-128]"},
                        {0x7F, 127, "7f [127]"}, {0x00, 0, "0 [0]"}};
  const char* names[] = {"Current Temp", "Min Temp", "Max Temp", "Life Min Temp", "Life Max Temp"};
  for (const Case& c : cases) {
    OrvAtaSctStatus status;
    for (u32 at = 200; at < 205; ++at) status[at] = c.byte;
    status[206] = 0xFE;  // "Over Limit Count" stays unsigned
    std::string text = writtenTo([&](std::FILE* file) { status.print(file); });
    OrvDevGenData<_OrvDataItem> data;
    status.collectFields(data);
    ASSERT_EQ(data.items.size(), 15u);
    for (unsigned t = 0; t < 5; ++t) {
      char line[64];
      std::snprintf(line, sizeof line, "%-25s: %s\n", names[t], c.shown);
      EXPECT_NE(text.find(line), std::string::npos) << line;
      EXPECT_EQ(data.items[8 + t].name, names[t]);
      EXPECT_EQ(static_cast<s64>(data.items[8 + t].value), c.celsius) << names[t];
    }
    EXPECT_EQ(data.items[13].value, 0xFEu);
  }
}

// -------------------------------------------------------- workload exports

TEST(Area1WorkloadExports, EveryExportOfTheSameBytesGivesTheSameItems) {
  // All records numbered 0 but record 2 of sector 1 (number 3): an export
  // holds record 0 of sector 0, which turns zero-numbered records off, and
  // that record.
  using Record = OrvAtaArea1WorkloadLogContentQX12;
  using Sector = OrvAtaArea1WorkloadLogSectorQX12;
  OrvBuffer bytes(OrvAtaArea1WorkloadLogsQX12::byteLength(), ORV_LITTLE_ENDIAN);
  put(bytes, OrvAtaArea1DataQX12::kHeaderLength + Sector::byteLength() + 2 * Record::byteLength(), 3, 4);
  OrvAtaArea1WorkloadLogsQX12 logs(&bytes, 0);
  std::vector<_OrvDataItem> first = collected(logs);
  ASSERT_EQ(first.size(), 180u);
  EXPECT_EQ(first[0].name, "Sector Number [0] Log Number [0]");
  EXPECT_EQ(first[90].name, "Sector Number [1] Log Number [2]");

  OrvBuffer copy(bytes);
  OrvAtaArea1WorkloadLogsQX12 other(&copy, 0);
  for (auto* again : {&logs, &other}) {
    std::vector<_OrvDataItem> items = collected(*again);
    ASSERT_EQ(items.size(), first.size());
    for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].name, first[i].name) << i;
  }
  // A sector exported alone starts its own switch too.
  EXPECT_EQ(collected(logs.getSector(0)).size(), 90u);
  EXPECT_EQ(collected(logs.getSector(0)).size(), 90u);
}

// ------------------------------------------------- big-endian container

// The value of a number's significant bytes (up to its highest non-zero one)
// read in the other byte order.
u64 reversed(u64 value) {
  unsigned bytes = 1;
  while (bytes < 8 && (value >> (8 * bytes)) != 0) ++bytes;
  u64 result = 0;
  for (unsigned i = 0; i < bytes; ++i) result = result << 8 | ((value >> (8 * i)) & 0xFF);
  return result;
}

template <typename Each>
void forEachSubLog(OrvAtaIntArea1Log& log, Each each) {
  each(log.diskEventLog), each(log.cmdEventLog), each(log.rptErrEventLog), each(log.senseLog);
  each(log.saEventLog), each(log.timeEventLog), each(log.bootEventLog), each(log.envEventLog);
  each(log.microcodeEventLog), each(log.powerEventLog), each(log.blocksEventLog), each(log.workloadBaseData);
  each(log.spindleMotorCurrentEvent), each(log.memoryCheckEventLog), each(log.failurePredictionData);
  each(log.workloadLogs), each(log.zoneLogs);
}

TEST(Area1BigEndian, EveryExportedNumberReadsItsBytesMostSignificantFirst) {
  // No byte is 0, so a field's highest byte tells its width.
  OrvBuffer little(OrvAtaIntArea1Log::kLength, ORV_LITTLE_ENDIAN);
  for (u32 i = 0; i < little.getLength(); ++i) little[i] = static_cast<u8>(1 + (i * 31u) % 255);
  OrvBuffer big(little);
  big.setEndianess(ORV_BIG_ENDIAN);
  OrvAtaIntArea1Log fromLittle(little);
  OrvAtaIntArea1Log fromBig(big);
  EXPECT_EQ(fromBig.getEndianess(), ORV_BIG_ENDIAN);

  std::vector<std::vector<_OrvDataItem>> expected, actual;
  forEachSubLog(fromLittle, [&](auto& subLog) { expected.push_back(collected(subLog)); });
  forEachSubLog(fromBig, [&](auto& subLog) { actual.push_back(collected(subLog)); });
  ASSERT_EQ(actual.size(), 17u);
  size_t numbers = 0;
  for (size_t row = 0; row < actual.size(); ++row) {
    ASSERT_EQ(actual[row].size(), expected[row].size()) << row;
    ASSERT_FALSE(actual[row].empty()) << row;
    for (size_t i = 0; i < actual[row].size(); ++i) {
      const _OrvDataItem& le = expected[row][i];
      const _OrvDataItem& be = actual[row][i];
      ASSERT_EQ(be.name, le.name) << row << " " << i;
      if (le.kind != ORV_ITEM_NUMBER) continue;
      ++numbers;
      ASSERT_EQ(be.value, reversed(le.value)) << row << " " << le.name;
    }
  }
  EXPECT_GT(numbers, 1000u);
}

}  // namespace
