// The NVMe device's health report, wear figures and error log on a simulated
// controller, and the operations it leaves to the base.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "devlib/nvme/orvlib_buffer_nvme_logs.h"
#include "devlib/nvme/orvlib_nvme.h"
#include "osl/orv_status.h"
#include "unit/sim/nvme_fixture.h"
#include "unit/status_check.h"

namespace {

using namespace VazidaRaduru;

const char* kHealthy = R"({"windows": "10.0", "drives": [
  {"bus": "nvme", "model": "M", "serial": "S", "firmware": "R1",
   "health": {"temperature": 318, "availableSpare": 95, "spareThreshold": 10, "percentageUsed": 3,
              "powerOnHours": [1234, 0], "dataUnitsRead": [18446744073709551615, 2],
              "warningTime": 7, "criticalTime": 1, "sensors": [300, 301, 302]}}]})";

std::string drive(const std::string& keys, const std::string& faults = "[]") {
  return R"({"windows": "10.0", "drives": [{"bus": "nvme", "model": "M", "serial": "S", "firmware": "R1", )" +
         keys + R"(}], "faults": )" + faults + "}";
}

class NvmeHealth : public NvmeMachineTest {
 protected:
  std::unique_ptr<OrvGenDev> device() {
    return std::unique_ptr<OrvGenDev>(OrvGenDev::newOrvDevice("PHYSICALDRIVE0", 0, false, false));
  }

  static const _OrvDataItem* find(const OrvDevGenData<_OrvDataItem>& list, const std::string& name) {
    for (const _OrvDataItem& item : list.items)
      if (item.name == name) return &item;
    return nullptr;
  }
};

TEST_F(NvmeHealth, FullReportDecodesEveryField) {
  load(kHealthy);
  auto dev = device();
  OrvDevGenData<_OrvDataItem> report;
  bool trip = true;
  ASSERT_EQ(dev->getSmartReport(report, 0, 0, trip), 0u);
  EXPECT_FALSE(trip);
  ASSERT_EQ(report.items.size(), 40u);
  ASSERT_EQ(report.buffers.size(), 1u);
  EXPECT_EQ(report.buffers[0]->getLength(), 512u);
  EXPECT_EQ(report.items[0].name, "SMART trip-critical Warning:Available Spare Space");
  EXPECT_EQ(report.items[0].id, 0x020000u);
  EXPECT_EQ(report.items[4].name, "SMART trip-critical Warning:Backup Device Failed");
  EXPECT_EQ(report.items[4].id, 0x020004u);
  EXPECT_EQ(report.items[5].name, "SMART trip failure");
  EXPECT_EQ(report.items[5].id, 0x020005u);
  EXPECT_EQ(report.items[5].value, 0u);
  struct Expected {
    size_t index;
    const char* name;
    u32 id;
    u64 value;
  };
  const Expected expected[] = {
      {6, "Composite Temperature", 0x020100, 318},
      {7, "Available Spare", 0x020300, 95},
      {8, "Available Spare Threshold", 0x020400, 10},
      {9, "Percentage Used", 0x020500, 3},
      {10, "Data Units Read Qword1", 0x022000, 0xFFFFFFFFFFFFFFFFull},
      {11, "Data Units Read Qword2", 0x022800, 2},
      {22, "Power On Hours Qword1", 0x028000, 1234},
      {23, "Power On Hours Qword2", 0x028800, 0},
      {29, "Number of Error Information Log Entries Qword2", 0x02B800, 0},
      {30, "Warning Composite Temperature Time", 0x02C000, 7},
      {31, "Critical Composite Temperature Time", 0x02C400, 1},
      {32, "Temperature Sensor1", 0x02C800, 300},
      {34, "Temperature Sensor3", 0x02CC00, 302},
      {39, "Temperature Sensor8", 0x02D600, 0},
  };
  for (const Expected& item : expected) {
    SCOPED_TRACE(item.name);
    EXPECT_EQ(report.items[item.index].name, item.name);
    EXPECT_EQ(report.items[item.index].id, item.id);
    EXPECT_EQ(report.items[item.index].value, item.value);
    EXPECT_EQ(report.items[item.index].kind, ORV_ITEM_NUMBER);
    EXPECT_EQ(report.items[item.index].flag, 0u);
  }
}

TEST_F(NvmeHealth, ModesOfTheReport) {
  load(drive(R"("health": {"criticalWarning": 1})"));
  auto dev = device();
  {
    // Report mode: no trip item, the trip result untouched.
    OrvDevGenData<_OrvDataItem> report;
    bool trip = false;
    ASSERT_EQ(dev->getSmartReport(report, 1, 0, trip), 0u);
    EXPECT_EQ(report.items.size(), 39u);
    EXPECT_FALSE(trip);
    EXPECT_EQ(find(report, "SMART trip failure"), nullptr);
    ASSERT_NE(find(report, "Critical Warning:Available Spare Space"), nullptr);
    EXPECT_EQ(find(report, "Critical Warning:Available Spare Space")->value, 1u);
    EXPECT_EQ(report.items[5].name, "Composite Temperature");
  }
  {
    // The trip check alone: the five warning bits and the trip.
    OrvDevGenData<_OrvDataItem> report;
    bool trip = false;
    ASSERT_EQ(dev->getSmartReport(report, 0, 1, trip), 0u);
    ASSERT_EQ(report.items.size(), 6u);
    EXPECT_TRUE(trip);
    EXPECT_EQ(report.items[5].value, 1u);
    EXPECT_EQ(report.buffers.size(), 1u);
  }
  {
    // Both modes at once count as neither.
    OrvDevGenData<_OrvDataItem> report;
    bool trip = false;
    ASSERT_EQ(dev->getSmartReport(report, 1, 1, trip), 0u);
    EXPECT_EQ(report.items.size(), 40u);
    EXPECT_TRUE(trip);
    EXPECT_EQ(report.items[0].name, "SMART trip-critical Warning:Available Spare Space");
  }
}

TEST_F(NvmeHealth, TripFollowsTheLowWarningBitsOnly) {
  for (u64 warning : {0x02u, 0x10u, 0x20u}) {
    load(drive(R"("health": {"criticalWarning": )" + std::to_string(warning) + "}"));
    auto dev = device();
    OrvDevGenData<_OrvDataItem> report;
    bool trip = false;
    ASSERT_EQ(dev->getSmartReport(report, 0, 1, trip), 0u);
    EXPECT_EQ(trip, warning != 0x20) << warning;
  }
}

TEST_F(NvmeHealth, EnduranceFigures) {
  load(kHealthy);
  auto dev = device();
  OrvDevGenData<_OrvDataItem> wear;
  ASSERT_EQ(dev->getEnduranceInfo(wear), 0u);
  ASSERT_EQ(wear.items.size(), 3u);
  EXPECT_EQ(wear.buffers.size(), 1u);
  EXPECT_EQ(wear.items[0].name, "Available Spare");
  EXPECT_EQ(wear.items[0].value, 95u);
  EXPECT_EQ(wear.items[1].id, 0x020400u);
  EXPECT_EQ(wear.items[2].name, "Percentage Used");
  EXPECT_EQ(wear.items[2].value, 3u);
}

TEST_F(NvmeHealth, FailedHealthReadAddsNothing) {
  load(drive(R"("firmwareSlots": 1)", R"([{"nvme": 2, "log": 2, "statusType": 1, "statusCode": 9}])"));
  auto dev = device();
  OrvDevGenData<_OrvDataItem> report;
  bool trip = true;
  u64 status = dev->getSmartReport(report, 0, 0, trip);
  EXPECT_EQ(orv_status_code(status), ORV_ERR_NVME_GET_LOG);
  EXPECT_TRUE(report.items.empty());
  EXPECT_TRUE(report.buffers.empty());
  EXPECT_TRUE(trip);
  OrvDevGenData<_OrvDataItem> wear;
  EXPECT_EQ(orv_status_code(dev->getEnduranceInfo(wear)), ORV_ERR_NVME_GET_LOG);
  EXPECT_TRUE(wear.buffers.empty());
}

TEST_F(NvmeHealth, ErrorLogKeepsUsedEntriesOnly) {
  load(drive(R"("errorLogEntries": 3, "errorLog": [
      {"count": 9, "queue": 1, "command": 77, "status": 32773, "location": 1540, "lba": 4096,
       "namespace": 1, "vendorInfo": 2, "commandInfo": 81985529216486895},
      {"count": 0, "queue": 5},
      {"count": 7, "status": 4}])"));
  auto dev = device();
  OrvDevGenData<_OrvErrLogItem> log;
  ASSERT_EQ(dev->readErrorLog(log), 0u);
  ASSERT_EQ(log.buffers.size(), 1u);
  EXPECT_EQ(log.buffers[0]->getLength(), 4u * 64);
  ASSERT_EQ(log.items.size(), 2u);
  const _OrvErrLogItem& first = log.items[0];
  EXPECT_EQ(first.errorCount, 9u);
  EXPECT_EQ(first.submissionQueueId, 1u);
  EXPECT_EQ(first.commandId, 77u);
  EXPECT_EQ(first.statusField, 0x8005u) << "with the phase bit";
  EXPECT_EQ(first.parameterErrorByte, 0x04u);
  EXPECT_EQ(first.parameterErrorBit, 0x06u);
  EXPECT_EQ(first.lba, 4096u);
  EXPECT_EQ(first.nameSpace, 1u);
  EXPECT_EQ(first.vendorInfoAvailable, 2u);
  EXPECT_EQ(first.commandSpecificInfo, 0x0123456789ABCDEFull);
  EXPECT_EQ(log.items[1].errorCount, 7u) << "the walk goes past an unused entry";
  EXPECT_EQ(log.items[1].statusField, 4u);
}

TEST_F(NvmeHealth, ErrorLogSizes) {
  {
    load(drive(R"("errorLogEntries": 0)"));
    auto dev = device();
    OrvDevGenData<_OrvErrLogItem> log;
    ASSERT_EQ(dev->readErrorLog(log), 0u);
    ASSERT_EQ(log.buffers.size(), 1u);
    EXPECT_EQ(log.buffers[0]->getLength(), 64u);
    EXPECT_TRUE(log.items.empty());
  }
  {
    load(drive(R"("errorLogEntries": 1)", R"([{"nvme": 2, "log": 1, "statusType": 1, "statusCode": 9}])"));
    auto dev = device();
    OrvDevGenData<_OrvErrLogItem> log;
    EXPECT_EQ(orv_status_code(dev->readErrorLog(log)), ORV_ERR_NVME_GET_LOG);
    EXPECT_TRUE(log.buffers.empty());
  }
}

TEST_F(NvmeHealth, OperationsWithoutCounterpartSendNothing) {
  load(kHealthy);
  auto dev = device();
  winsim::clearStorageTrace();
  OrvDevGenData<_OrvSmartAttrItem> attributes;
  OrvDevGenData<_OrvDataItem> counters, statistics;
  EXPECT_EQ(orv_status_code(dev->getSmartAttributes(attributes, "parser.txt")), ORV_ERR_FEATURE_UNSUPPORTED);
  EXPECT_EQ(orv_status_code(dev->getErrorCounters(counters, true)), ORV_ERR_FEATURE_UNSUPPORTED);
  EXPECT_EQ(orv_status_code(dev->getDeviceStatistics(statistics)), ORV_ERR_FEATURE_UNSUPPORTED);
  EXPECT_TRUE(winsim::storageTrace().empty());
}

}  // namespace
