// Field reads and writes and the hex dump, each beside a hand-written
// baseline over the same bytes in the same run. Prints the ratios (library
// time over baseline time), then each target missed, and exits 1 when one
// was: a field read within 2x of the plain read given the field's place at
// run time, a hex dump no slower than its baseline.
//
// Field reads have two baselines: shift-and-mask code with the field's place
// compiled in, and the same plain code given the place at run time, as a
// field object holds it. The first is a single load that no object knowing
// its place only at run time can match: its ratios are printed for
// information only.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/targets.h"
#include "devlib/orvlib_buffer.h"

using namespace VazidaRaduru;

namespace {

constexpr u32 kPageSize = 64;
constexpr u32 kDumpSize = 4096;

// Where each field width sits in the page: bit 5 of byte 3, or whole words.
template <int Width>
struct Place {
  static constexpr u32 offset = Width == 1 ? 3 : Width / 8;
  static constexpr u8 firstBit = Width == 1 ? 5 : 0;
  static constexpr u8 lastBit = Width == 1 ? 5 : Width - 1;
};

_OrvByteEndianess orderOf(bool big) { return big ? ORV_BIG_ENDIAN : ORV_LITTLE_ENDIAN; }

// A page of bytes with one named field, as data-structure classes hold them.
template <int Width, bool Big>
struct Page {
  OrvBuffer buffer{kPageSize, orderOf(Big)};
  OrvBufField field{buffer.getBuffer(), Place<Width>::offset, Place<Width>::firstBit, Place<Width>::lastBit,
                    "Field", orderOf(Big)};
  Page() { buffer.setQWord(0x8877665544332211ull); }
  const u8* bytes() { return buffer.getBuffer() + Place<Width>::offset; }
};

// ---- baselines: plain shift-and-mask for one known width and order

template <int Width, bool Big>
inline u64 plainRead(const u8* p) {
  if (Width == 1) return (p[0] >> 5) & 1;
  u64 v = 0;
  for (int i = 0; i < Width / 8; ++i) {
    if (Big)
      v = (v << 8) | p[i];
    else
      v |= static_cast<u64>(p[i]) << (8 * i);
  }
  return v;
}

template <int Width, bool Big>
inline void plainWrite(u8* p, u64 v) {
  if (Width == 1) {
    p[0] = static_cast<u8>((p[0] & ~0x20) | ((v & 1) << 5));
    return;
  }
  for (int i = 0; i < Width / 8; ++i) p[i] = static_cast<u8>(v >> (8 * (Big ? Width / 8 - 1 - i : i)));
}

// The same job when the field is known only at run time, as the field
// classes know theirs: its place, bits and order read from memory.
struct FieldPlace {
  u32 offset;
  u8 firstBit;
  u8 lastBit;
  bool big;
};

// The place of a field as the run-time baseline holds it: in memory, filled
// from volatile storage, so that the compiler can neither fold it into the
// read nor specialise the read for it. Like a field object's members it is
// read again at each read: the loops' DoNotOptimize clobbers memory.
template <int Width, bool Big>
const FieldPlace& runTimePlace() {
  static volatile u32 offset = Place<Width>::offset;
  static volatile u8 firstBit = Place<Width>::firstBit;
  static volatile u8 lastBit = Place<Width>::lastBit;
  static volatile bool big = Big;
  static FieldPlace place{offset, firstBit, lastBit, big};
  return place;
}

inline u64 plainDescribedRead(const u8* bytes, const FieldPlace& place) {
  unsigned count = place.lastBit / 8 + 1;
  u64 v = 0;
  for (unsigned i = 0; i < count; ++i) {
    u8 byte = bytes[place.offset + i];
    v = place.big ? (v << 8) | byte : v | (static_cast<u64>(byte) << (8 * i));
  }
  return (v >> place.firstBit) & (~0ull >> (63 - (place.lastBit - place.firstBit)));
}

void plainHexDump(const u8* bytes, u32 length, std::stringstream& out) {
  static const char separator[] = "---------------------------------------------------------\n";
  out.str("");
  out.clear();
  out << separator;
  char cell[16];
  std::string characters;
  for (u32 i = 0; i < length; ++i) {
    if (i % 16 == 0) {
      std::snprintf(cell, sizeof cell, "%08x: ", i);
      out << cell;
      characters.clear();
    }
    std::snprintf(cell, sizeof cell, "%02x ", bytes[i]);
    out << cell;
    characters += bytes[i] >= 32 && bytes[i] <= 126 ? static_cast<char>(bytes[i]) : '.';
    if ((i + 1) % 16 == 0) out << "  '" << characters << "'\n";
  }
  if (length % 16 != 0) {
    for (u32 i = length % 16; i < 16; ++i) out << "   ";
    out << "  '" << characters << "'\n";
  }
  out << separator;
}

// ---- the benchmarks

template <int Width, bool Big>
void fieldRead(benchmark::State& state) {
  Page<Width, Big> page;
  for (auto _ : state) {
    u64 v = page.field.getValue();
    benchmark::DoNotOptimize(v);
  }
}

template <int Width, bool Big>
void baselineRead(benchmark::State& state) {
  Page<Width, Big> page;
  const u8* bytes = page.bytes();
  for (auto _ : state) {
    u64 v = plainRead<Width, Big>(bytes);
    benchmark::DoNotOptimize(v);
  }
}

template <int Width, bool Big>
void baselineDescribedRead(benchmark::State& state) {
  Page<Width, Big> page;
  const FieldPlace& place = runTimePlace<Width, Big>();
  const u8* bytes = page.buffer.getBuffer();
  for (auto _ : state) {
    u64 v = plainDescribedRead(bytes, place);
    benchmark::DoNotOptimize(v);
  }
}

// Through a reference whose dynamic type the compiler cannot see, as a
// printer walking a list of fields calls it.
template <int Width, bool Big>
void fieldReadVirtual(benchmark::State& state) {
  Page<Width, Big> page;
  OrvBufBits* view = &page.field;
  benchmark::DoNotOptimize(view);
  for (auto _ : state) {
    u64 v = view->getValue();
    benchmark::DoNotOptimize(v);
  }
}

template <int Width, bool Big>
void fieldWrite(benchmark::State& state) {
  Page<Width, Big> page;
  u64 v = 0;
  for (auto _ : state) {
    page.field.setValue(v++);
    benchmark::ClobberMemory();
  }
}

template <int Width, bool Big>
void baselineWrite(benchmark::State& state) {
  Page<Width, Big> page;
  u8* bytes = page.buffer.getBuffer() + Place<Width>::offset;
  u64 v = 0;
  for (auto _ : state) {
    plainWrite<Width, Big>(bytes, v++);
    benchmark::ClobberMemory();
  }
}

OrvBuffer dumpPage() {
  OrvBuffer page(kDumpSize, ORV_LITTLE_ENDIAN);
  for (u32 i = 0; i < kDumpSize; ++i) page[i] = static_cast<u8>(i * 7 + 3);
  return page;
}

void hexDump(benchmark::State& state) {
  OrvBuffer page = dumpPage();
  std::stringstream out;
  for (auto _ : state) {
    page.hexDump(out);
    benchmark::DoNotOptimize(out);
  }
}

void baselineHexDump(benchmark::State& state) {
  OrvBuffer page = dumpPage();
  std::stringstream out;
  for (auto _ : state) {
    plainHexDump(page.getBuffer(), page.getLength(), out);
    benchmark::DoNotOptimize(out);
  }
}

// ---- pairs, registration and the ratio report

struct Pair {
  std::string label;
  std::string library;
  std::string baseline;
  double target;  // 0: reported only
};

std::vector<Pair>& pairs() {
  static std::vector<Pair> all;
  return all;
}

// The fastest of several repetitions: other work on the machine only ever
// slows a run down.
void add(const std::string& name, void (*fn)(benchmark::State&)) {
  benchmark::RegisterBenchmark(name.c_str(), fn)
      ->Repetitions(7)
      ->MinTime(0.05)
      ->ComputeStatistics("min", [](const std::vector<double>& times) {
        return *std::min_element(times.begin(), times.end());
      })
      ->ReportAggregatesOnly(true);
}

template <int Width, bool Big>
bool registerField() {
  std::string label = std::to_string(Width) + "-bit " + (Big ? "BE" : "LE");
  std::string suffix = "/" + std::to_string(Width) + (Big ? "/BE" : "/LE");
  add("OrvBufField::getValue" + suffix, fieldRead<Width, Big>);
  add("OrvBufBits&::getValue" + suffix, fieldReadVirtual<Width, Big>);
  add("plain_read" + suffix, baselineRead<Width, Big>);
  add("plain_read_described" + suffix, baselineDescribedRead<Width, Big>);
  add("OrvBufField::setValue" + suffix, fieldWrite<Width, Big>);
  add("plain_write" + suffix, baselineWrite<Width, Big>);
  pairs().push_back(
      {"field read " + label + ", place compiled in", "OrvBufField::getValue" + suffix, "plain_read" + suffix, 0});
  pairs().push_back({"field read " + label + ", place at run time", "OrvBufField::getValue" + suffix,
                     "plain_read_described" + suffix, 2.0});
  pairs().push_back(
      {"virtual read " + label + ", place compiled in", "OrvBufBits&::getValue" + suffix, "plain_read" + suffix, 0});
  pairs().push_back({"field write " + label, "OrvBufField::setValue" + suffix, "plain_write" + suffix, 0});
  // Both the library and the baseline must see the same number.
  Page<Width, Big> page;
  const FieldPlace& place = runTimePlace<Width, Big>();
  u64 expected = page.field.getValue();
  if (expected != plainRead<Width, Big>(page.bytes()) ||
      expected != plainDescribedRead(page.buffer.getBuffer(), place)) {
    std::fprintf(stderr, "baseline and field disagree for %s\n", label.c_str());
    return false;
  }
  return true;
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
        fastest[run.run_name.function_name] = run.GetAdjustedRealTime();
  }
  std::map<std::string, double> fastest;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  bool agree = registerField<1, false>() && registerField<1, true>() && registerField<16, false>() &&
               registerField<16, true>() && registerField<32, false>() && registerField<32, true>() &&
               registerField<64, false>() && registerField<64, true>();
  add("OrvBuffer::hexDump", hexDump);
  add("plain_hex_dump", baselineHexDump);
  pairs().push_back({"hex dump 4 KiB", "OrvBuffer::hexDump", "plain_hex_dump", 1.0});
  OrvBuffer page = dumpPage();
  std::stringstream library, plain;
  page.hexDump(library);
  plainHexDump(page.getBuffer(), page.getLength(), plain);
  if (!agree || library.str() != plain.str()) {
    std::fprintf(stderr, "a baseline does not produce what the library does\n");
    return 1;
  }

  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  Targets targets;
  std::vector<std::pair<const Pair*, double>> ratios;
  std::printf("\n%-42s %10s %10s %8s %8s\n", "ratio (library / baseline)", "library", "baseline", "ratio", "target");
  for (const Pair& pair : pairs()) {
    auto library = reporter.fastest.find(pair.library);
    auto baseline = reporter.fastest.find(pair.baseline);
    if (library == reporter.fastest.end() || baseline == reporter.fastest.end()) continue;
    double ratio = library->second / baseline->second;
    char target[16] = "-";
    if (pair.target > 0) std::snprintf(target, sizeof target, "%.2fx", pair.target);
    std::printf("%-42s %8.2fns %8.2fns %7.2fx %8s\n", pair.label.c_str(), library->second, baseline->second, ratio,
                target);
    if (pair.target > 0) ratios.emplace_back(&pair, ratio);
  }
  std::printf("\n");
  for (const auto& [pair, ratio] : ratios)
    targets.atMost(pair->label + " (library / baseline)", ratio, pair->target, "x");
  return targets.conclude();
}
