// A whole update on the simulated machine: 1, 8 and 64 SATA drives taking a
// 1 MiB and a 16 MiB image, run in this process through runUpdate. Besides
// the time it prints, per drive, the pass-through requests sent against the
// fewest the drive allows (its largest segment), the bytes sent from a copy
// the program made instead of from the embedded package (per image byte),
// and the program's peak memory against the image (the package itself
// counted, the machine's own memory not). Prints each target missed and
// exits 1 when one was: an update that fails, download requests above the
// fewest or other requests that change with the image or the number of
// drives, more than two copies of each image byte, peak memory above twice
// the image plus 16 MiB, and, at 8 and 64 drives, processor time per
// DeviceIoControl call above twice that of one drive with the same image.
//
// Every command of the library lists every drive of the machine when it is
// made, so the calls, and the time, per drive grow with the number of
// drives: the time per drive and per MiB against the smallest runs is
// printed for information only.
//
// Then one NVMe drive behind a CSMI RAID controller, updated through the
// RAID driver at 1 and 16 MiB: a member of a RAID set, a disk the driver
// presents on a controller without sets, and such a disk beside a set that
// holds a member of another model. Per drive updated it prints the
// DeviceIoControl calls, the openings of disks and of storage ports and the
// SetupDi interface lists (disks' and ports' alike: the machine counts them
// together). Targets: each update ends on the new revision, and the
// download to a disk costs no more DeviceIoControl calls than one to the
// member: the calls each further MiB of image adds (the 16 MiB run's less
// the 1 MiB run's, over 15) are at most the member's. Beside each disk's
// whole-run calls stand the member's, without a target: a disk is also listed
// and looked up once as a disk when it is opened, where a member is reached
// through its port alone.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <rapidjson/document.h>
#include <string>
#include <vector>

#include "app/divizu_applog.h"
#include "app/main.h"
#include "app/qep.h"
#include "bench/targets.h"
#include "winsim/machine.h"
#include "winsim/program.h"
#include "winsim/winsim_test.h"

// Heap use of the program, told apart from the machine's: what the storage
// stack allocates while it answers a request belongs to the machine.
namespace {

std::atomic<long long> programBytes{0};
std::atomic<long long> programPeak{0};

void account(void* pointer, int sign) {
  if (!pointer || winsim::answeringRequest()) return;
  long long now = programBytes += sign * static_cast<long long>(malloc_usable_size(pointer));
  long long peak = programPeak;
  while (now > peak && !programPeak.compare_exchange_weak(peak, now)) {
  }
}

}  // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);

void* malloc(size_t size) {
  void* pointer = __libc_malloc(size);
  account(pointer, 1);
  return pointer;
}
void* calloc(size_t count, size_t size) {
  void* pointer = __libc_calloc(count, size);
  account(pointer, 1);
  return pointer;
}
void* realloc(void* pointer, size_t size) {
  account(pointer, -1);
  void* moved = __libc_realloc(pointer, size);
  account(moved ? moved : (size ? pointer : nullptr), 1);
  return moved;
}
void* memalign(size_t alignment, size_t size) {
  void* pointer = __libc_memalign(alignment, size);
  account(pointer, 1);
  return pointer;
}
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, size_t alignment, size_t size) {
  *out = memalign(alignment, size);
  return *out ? 0 : 12;  // ENOMEM
}
void free(void* pointer) {
  account(pointer, -1);
  __libc_free(pointer);
}
}

namespace {

constexpr u32 kMiB = 1u << 20;
constexpr u32 kSegmentBlocks = 128;  // the virtual drives' largest segment
constexpr u32 kSegment = kSegmentBlocks * 512;

// The package of the model given, with an image the virtual drives accept,
// installed as the program's resource (read in place) for the runs to come.
const std::string& installPackage(u32 imageLength, const std::string& model) {
  static std::string bytes;
  std::string image(imageLength, '\0');
  for (u32 i = 0; i < imageLength; ++i) image[i] = static_cast<char>(i * 7 + i / 512);
  image.replace(0, 16, "VDRVFWIMREV00002");
  std::string header(128, '\0');
  header.replace(0, 8, "@ORVQEP@");
  header[9] = static_cast<char>(128);
  header.replace(10, model.size(), model);
  header.replace(50, 8, "REV00002");
  for (int i = 0; i < 4; ++i) header[72 + i] = static_cast<char>(imageLength >> (24 - 8 * i));
  unsigned sum = 0;
  for (int i = 0; i < 124; ++i) sum += static_cast<unsigned char>(header[i]);
  header[124] = static_cast<char>(sum);
  bytes = header + image;
  static const std::string licence = "Benchmark licence text.\n";
  winsim::addResource(10, kPackageResource, bytes.data(), bytes.size());
  winsim::addResource(10, kLicenceResource, licence.data(), licence.size());
  appState = AppState();
  appState.silent = true;
  return bytes;
}

std::string machine(int drives) {
  std::string text = R"({"windows": "10.0", "admin": true, "drives": [)";
  for (int i = 0; i < drives; ++i)
    text += std::string(i ? "," : "") + R"({"bus": "sata", "serial": "B)" + std::to_string(i) +
            R"(", "firmware": "REV00001", "dmMaxBlocks": )" + std::to_string(kSegmentBlocks) +
            R"(, "keepImage": false})";
  return text + "]}";
}

bool isDownload(const winsim::StorageRequest& request) {
  return request.name == "IOCTL_ATA_PASS_THROUGH_DIRECT" && request.command.size() == 16 &&
         (request.command[12] == 0x92 || request.command[12] == 0x93);
}

bool isPassThrough(const winsim::StorageRequest& request) {
  return request.name == "IOCTL_ATA_PASS_THROUGH_DIRECT" || request.name == "IOCTL_SCSI_PASS_THROUGH" ||
         request.name == "IOCTL_SCSI_PASS_THROUGH_DIRECT";
}

struct Figures {
  int drives = 0;
  u32 mib = 0;
  double seconds = 0;           // the fastest run, the process's processor time
  double downloadRequests = 0;  // per drive
  u32 fewestDownloads = 0;
  double otherRequests = 0;     // per drive
  double allRequests = 0;       // every DeviceIoControl call, per drive
  double copiedPerByte = 0;
  double peakMiB = 0;           // program heap and package; the largest of the runs
  int exitCode = -1;
  // The CSMI rows, per drive: openings of disks and of storage ports, and
  // SetupDi interface lists; whether every run ended on the new revision.
  double diskOpenings = 0;
  double portOpenings = 0;
  double interfaceLists = 0;
  std::string revision;
  bool updated = true;

  double secondsPerCall() const { return seconds / (allRequests * drives); }
};
std::map<std::pair<int, u32>, Figures> figures;      // by drives and MiB
std::map<std::pair<int, u32>, Figures> csmiFigures;  // by form and MiB

double processorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::filesystem::path scratch() {
  static std::filesystem::path folder = std::filesystem::temp_directory_path() / "orv-bench-update";
  std::filesystem::create_directories(folder);
  return folder;
}

// One update on the machine loaded afresh, timed. Returns with the timer
// paused and what the machine recorded of the run still there.
int updateOnce(benchmark::State& state, const std::string& machineText, size_t packageBytes, Figures& run) {
  state.PauseTiming();
  std::string machineFile = (scratch() / "machine.json").string();
  std::ofstream(machineFile) << machineText;
  winsim::Machine::load(machineFile);
  winsim::clearStorageTrace();
  std::filesystem::remove(scratch() / "update.log");
  applog_init(6, 6, (scratch() / "update.log").string().c_str());
  long long before = programBytes;
  programPeak = before;
  double start = processorSeconds();
  state.ResumeTiming();

  int exitCode = static_cast<int>(runUpdate());

  state.PauseTiming();
  run.seconds = std::min(run.seconds, processorSeconds() - start);
  run.peakMiB =
      std::max(run.peakMiB, static_cast<double>(programPeak - before + static_cast<long long>(packageBytes)) / kMiB);
  if (exitCode != 0 || run.exitCode == -1) run.exitCode = exitCode;
  applog_close(0);
  return exitCode;
}

Figures startFigures(int drives, u32 imageLength) {
  Figures run;
  run.seconds = 1e9;
  run.drives = drives;
  run.mib = imageLength / kMiB;
  run.fewestDownloads = (imageLength + kSegment - 1) / kSegment;
  return run;
}

void BM_Update(benchmark::State& state) {
  int drives = static_cast<int>(state.range(0));
  u32 imageLength = static_cast<u32>(state.range(1)) * kMiB;
  const std::string& bytes = installPackage(imageLength, "VIRTUAL DRIVE");
  const char* image = bytes.data() + 128;
  Figures run = startFigures(drives, imageLength);
  for (auto _ : state) {
    updateOnce(state, machine(drives), bytes.size(), run);
    u64 downloads = 0, others = 0, copied = 0;
    run.allRequests = static_cast<double>(winsim::storageTrace().size()) / drives;
    for (const winsim::StorageRequest& request : winsim::storageTrace()) {
      if (!isPassThrough(request)) continue;
      if (!isDownload(request)) {
        ++others;
        continue;
      }
      ++downloads;
      const char* data = static_cast<const char*>(request.data);
      if (!(data >= image && data + request.dataLength <= image + imageLength)) copied += request.dataLength;
    }
    run.downloadRequests = static_cast<double>(downloads) / drives;
    run.otherRequests = static_cast<double>(others) / drives;
    run.copiedPerByte = static_cast<double>(copied) / (static_cast<double>(imageLength) * drives);
    winsim::clearStorageTrace();
    state.ResumeTiming();
  }
  state.counters["requests_per_drive"] = run.downloadRequests + run.otherRequests;
  state.counters["copies_per_byte"] = run.copiedPerByte;
  state.counters["peak_MiB"] = run.peakMiB;
  figures[{drives, run.mib}] = run;
}
// The fastest of three runs: other work on the machine only ever slows a run
// down.
BENCHMARK(BM_Update)
    ->ArgsProduct({{1, 8, 64}, {1, 16}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One NVMe drive of the package's model behind a CSMI RAID controller.
enum CsmiForm { kMember, kDisk, kDiskBesideSet };
const char* const kFormNames[] = {"RAID set member", "disk, no sets", "disk beside a set"};

// Faults that let a billion calls pass count what the trace does not show:
// every opening of a disk or port, the openings of ports (no device number),
// and SetupDi's interface lists.
std::string csmiMachine(CsmiForm form) {
  const std::string drive = R"("model": "NVMe VIRTUAL DRIVE", "serial": "N0", "firmware": "REV00001")";
  std::string controller = form == kMember ? R"("raidSets": [{"drives": [{)" + drive + "}]}]"
                                           : R"("drives": [{"bus": "nvme", )" + drive + "}]";
  // The member of another model keeps target 0; the disk takes target 1.
  if (form == kDiskBesideSet)
    controller += R"(, "raidSets": [{"drives": [{"model": "NVMe OTHER", "serial": "R0", "firmware": "REV00001"}]}])";
  return R"({"windows": "10.0", "admin": true, "controllers": [{"kind": "csmi", )" + controller + R"(}],
    "faults": [{"ioctl": "CreateFileW", "after": 1000000000},
               {"ioctl": "CreateFileW", "drive": -1, "after": 1000000000},
               {"setupapi": "SetupDiGetClassDevsW", "after": 1000000000}]})";
}

void BM_CsmiUpdate(benchmark::State& state, CsmiForm form) {
  u32 imageLength = static_cast<u32>(state.range(0)) * kMiB;
  const std::string& bytes = installPackage(imageLength, "NVMe VIRTUAL DRIVE");
  Figures run = startFigures(1, imageLength);
  for (auto _ : state) {
    int exitCode = updateOnce(state, csmiMachine(form), bytes.size(), run);
    rapidjson::Value& controller = winsim::Machine::current().description()["controllers"][0];
    const rapidjson::Value& drive = form == kMember ? controller["raidSets"][0]["drives"][0] : controller["drives"][0];
    run.revision = drive["firmware"].GetString();
    // Through the RAID driver the run asks for a reboot (1602), also when
    // the drive has activated the image at once.
    run.updated = run.updated && (exitCode == 0 || exitCode == 1602) && run.revision == "REV00002";
    std::vector<unsigned> counted = winsim::faultMatches();
    run.allRequests = static_cast<double>(winsim::storageTrace().size()) / run.drives;
    run.diskOpenings = static_cast<double>(counted[0] - counted[1]) / run.drives;
    run.portOpenings = static_cast<double>(counted[1]) / run.drives;
    run.interfaceLists = static_cast<double>(counted[2]) / run.drives;
    winsim::clearStorageTrace();
    state.ResumeTiming();
  }
  state.counters["ioctls_per_drive"] = run.allRequests;
  csmiFigures[{form, run.mib}] = run;
}
BENCHMARK_CAPTURE(BM_CsmiUpdate, member, kMember)->Arg(1)->Arg(16)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CsmiUpdate, disk, kDisk)->Arg(1)->Arg(16)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CsmiUpdate, disk_beside_set, kDiskBesideSet)
    ->Arg(1)
    ->Arg(16)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// Prints the figures, then the comparisons given for information, then each
// target missed.
void reportSata(Targets& targets) {
  std::printf("\n%6s %5s %8s %8s %9s %14s %8s %13s %11s %12s %9s %11s\n", "drives", "MiB", "cpu ms", "ms/drv",
              "us/ioctl", "downloads/drv", "fewest", "other pt/drv", "ioctls/drv", "copies/byte", "peak MiB",
              "peak limit");
  for (const auto& [configuration, one] : figures)
    std::printf("%6d %5u %8.1f %8.2f %9.2f %14.1f %8u %13.1f %11.1f %12.3f %9.1f %11.1f\n", one.drives, one.mib,
                one.seconds * 1000, one.seconds * 1000 / one.drives, one.secondsPerCall() * 1e6, one.downloadRequests,
                one.fewestDownloads, one.otherRequests, one.allRequests, one.copiedPerByte, one.peakMiB,
                2.0 * one.mib + 16);

  std::printf("\nfor information (each command lists every drive, so the work per drive grows with the drives):\n");
  for (u32 mib : {1u, 16u})
    for (int drives : {8, 64}) {
      const Figures& many = figures[{drives, mib}];
      double one = figures[{1, mib}].seconds;
      std::printf("  %2d drives of %2u MiB: %8.2f ms a drive, %6.2fx the time of one drive\n", drives, mib,
                  many.seconds * 1000 / drives, many.seconds / drives / one);
    }
  for (int drives : {1, 8, 64}) {
    double small = figures[{drives, 1}].seconds;
    double large = figures[{drives, 16}].seconds;
    std::printf("  %2d %-7s 16 MiB: %8.2f ms a MiB, %6.2fx the time of 1 MiB\n", drives,
                drives == 1 ? "drive," : "drives,", large * 1000 / 16, large / 16 / small);
  }
  std::printf("\n");

  const Figures& smallest = figures.begin()->second;
  for (const auto& [configuration, one] : figures) {
    std::string run = std::to_string(one.drives) + " drives of " + std::to_string(one.mib) + " MiB: ";
    targets.exactly(run + "exit code", one.exitCode, 0, "");
    targets.atMost(run + "download requests per drive", one.downloadRequests, one.fewestDownloads, "");
    targets.exactly(run + "other pass-through requests per drive", one.otherRequests, smallest.otherRequests, "");
    targets.atMost(run + "bytes sent from a copy per image byte", one.copiedPerByte, 2.0, "");
    targets.atMost(run + "peak memory", one.peakMiB, 2.0 * one.mib + 16, " MiB");
    if (one.drives > 1)
      targets.atMost(run + "processor time per DeviceIoControl call", one.secondsPerCall() * 1e6,
                     2 * figures[{1, one.mib}].secondsPerCall() * 1e6, " us");
  }
}

void reportCsmi(Targets& targets) {
  std::printf("\nan NVMe drive behind a CSMI RAID controller, per drive updated "
              "(SetupDi lists: disks and ports together):\n");
  std::printf("%-18s %5s %8s %5s %9s %8s %11s %11s %13s\n", "form", "MiB", "cpu ms", "exit", "revision", "ioctls",
              "disk opens", "port opens", "SetupDi lists");
  for (const auto& [configuration, one] : csmiFigures) {
    std::printf("%-18s %5u %8.1f %5d %9s %8.0f %11.0f %11.0f %13.0f\n", kFormNames[configuration.first], one.mib,
                one.seconds * 1000, one.exitCode, one.revision.c_str(), one.allRequests, one.diskOpenings,
                one.portOpenings, one.interfaceLists);
    if (configuration.first != kMember)
      std::printf("%49s %8.0f\n", "a member's", csmiFigures[{kMember, one.mib}].allRequests);
  }
  // The calls each MiB of image adds: the download's own.
  auto perMiB = [](CsmiForm form) {
    return (csmiFigures[{form, 16}].allRequests - csmiFigures[{form, 1}].allRequests) / 15;
  };
  std::printf("\n%-18s %14s %28s\n", "form", "ioctls per MiB", "target: no more than a member's");
  for (CsmiForm form : {kMember, kDisk, kDiskBesideSet})
    std::printf("%-18s %14.1f %28.1f\n", kFormNames[form], perMiB(form), perMiB(kMember));
  std::printf("\n");

  for (const auto& [configuration, one] : csmiFigures) {
    std::string run = std::string(kFormNames[configuration.first]) + " of " + std::to_string(one.mib) + " MiB: ";
    targets.exactly(run + "updates ending on REV00002 with exit code 0 or 1602", one.updated, 1, "");
  }
  for (CsmiForm form : {kDisk, kDiskBesideSet})
    targets.atMost(std::string(kFormNames[form]) + ": DeviceIoControl calls per MiB of image", perMiB(form),
                   perMiB(kMember), "");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // Only a complete set of rows is compared.
  Targets targets;
  bool sata = figures.size() == 6, csmi = csmiFigures.size() == 6;
  if (sata) reportSata(targets);
  if (csmi) reportCsmi(targets);
  int status = sata || csmi ? targets.conclude() : 0;
  std::filesystem::remove_all(scratch());
  return status;
}
