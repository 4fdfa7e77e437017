// Device self-test of the NVMe controller, when the record says "selfTest".
// "selfTestOperation" and "selfTestCompletion" are the test running and its
// percent; "selfTestResults" lists earlier results newest first, each
// {"code", "result", "namespace", "hours", "lba"}. A test started here runs
// until aborted.
#include "winsim/drive_nvme.h"

namespace winsim {
namespace {

constexpr uint8_t SHORT_TEST = 1;
constexpr uint8_t EXTENDED_TEST = 2;
constexpr uint8_t ABORT = 0xF;
constexpr uint8_t ABORTED_BY_COMMAND = 1;
constexpr uint8_t UNUSED = 0xF;
constexpr size_t RESULTS = 20;

uint64_t numberOf(const rapidjson::Value& item, const char* key) {
  auto found = item.FindMember(key);
  return found != item.MemberEnd() && found->value.IsUint64() ? found->value.GetUint64() : 0;
}

}  // namespace

std::vector<NvmeDrive::SelfTestResult>& NvmeDrive::selfTestResults() const {
  if (selfTestResultsRead_) return selfTestResults_;
  selfTestResultsRead_ = true;
  const rapidjson::Value* listed = member("selfTestResults");
  if (!listed || !listed->IsArray()) return selfTestResults_;
  for (const rapidjson::Value& item : listed->GetArray()) {
    if (!item.IsObject()) continue;
    SelfTestResult result;
    result.code = static_cast<uint8_t>(numberOf(item, "code"));
    result.result = static_cast<uint8_t>(numberOf(item, "result"));
    result.nsid = static_cast<uint32_t>(numberOf(item, "namespace"));
    result.hours = numberOf(item, "hours");
    result.lba = numberOf(item, "lba");
    selfTestResults_.push_back(result);
  }
  return selfTestResults_;
}

void NvmeDrive::selfTest(NvmeIo& io) {
  if (!selfTestSupported()) return nvmeFail(io, NVME_INVALID_OPCODE);
  uint8_t code = io.dword(10) & 0xF;
  uint64_t running = number64("selfTestOperation", 0);
  if (code == SHORT_TEST || code == EXTENDED_TEST) {
    if (running) return nvmeFail(io, NVME_SELF_TEST_IN_PROGRESS);
    keepNumber("selfTestOperation", code);
    keepNumber("selfTestCompletion", 0);
    return;
  }
  if (code != ABORT) return nvmeFail(io, NVME_INVALID_FIELD);
  if (!running) return;
  SelfTestResult aborted;
  aborted.code = static_cast<uint8_t>(running);
  aborted.result = ABORTED_BY_COMMAND;
  aborted.nsid = io.dword(1);
  std::vector<SelfTestResult>& results = selfTestResults();
  results.insert(results.begin(), aborted);
  if (results.size() > RESULTS) results.resize(RESULTS);
  forget("selfTestOperation");
  forget("selfTestCompletion");
}

std::vector<uint8_t> NvmeDrive::selfTestLog() const {
  if (!selfTestSupported()) return {};
  std::vector<uint8_t> page(564, 0);
  page[0] = static_cast<uint8_t>(number64("selfTestOperation", 0) & 0xF);
  page[1] = static_cast<uint8_t>(number64("selfTestCompletion", 0) & 0x7F);
  const std::vector<SelfTestResult>& results = selfTestResults();
  for (size_t index = 0; index < RESULTS; ++index) {
    size_t at = 4 + 28 * index;
    if (index >= results.size()) {
      page[at] = UNUSED;
      continue;
    }
    const SelfTestResult& result = results[index];
    page[at] = static_cast<uint8_t>(result.code << 4 | (result.result & 0xF));
    putLittle(page, at + 4, result.hours, 8);
    putLittle(page, at + 12, result.nsid, 4);
    putLittle(page, at + 16, result.lba, 8);
  }
  return page;
}

}  // namespace winsim
