// The version search of a binary package file runs in the user-interface
// thread. Figure: our scan of 250 kB without zero bytes (the worst case of
// the search as worded: every offset starts a run to the end of the file),
// against the worded search timed on a 20 kB prefix and extrapolated with
// its n^2 cost, both measured in this run. A second figure times our scan on
// data made of near misses of the key.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "common/BinScanReference.h"
#include "update/versions/FileVersionScan.h"

namespace {

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

template <class F>
double BestOf(int runs, F&& f) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    best = std::min(best, Milliseconds(std::chrono::steady_clock::now() - start));
  }
  return best;
}

}  // namespace

int main() {
  constexpr size_t kFull = 250000;
  constexpr size_t kPrefix = 20000;
  std::mt19937 rng(250);
  std::string data(kFull, '\0');
  for (char& c : data) c = static_cast<char>(1 + rng() % 255);
  const std::string key = "SWVersion=";  // absent: the whole file is searched

  std::string ours;
  std::string worded;
  const double oursMs =
      BestOf(20, [&] { ours = update::VersionFromData(update::FileKind::kBin, key, data); });
  const std::string prefix = data.substr(0, kPrefix);
  const double wordedPrefixMs = BestOf(3, [&] { worded = reference::BinVersionAsWorded(key, prefix); });
  if (ours != worded || update::VersionFromData(update::FileKind::kBin, key, prefix) != worded) {
    std::printf("bin_scan: results differ\n");
    return 1;
  }
  const double scale = static_cast<double>(kFull) / kPrefix;
  const double wordedFullMs = wordedPrefixMs * scale * scale;
  std::printf("bin_scan_250k: %.3f ms (goal < 10 ms)\n", oursMs);
  std::printf(
      "bin_scan_speedup: %.0f x (goal >= 1000 x) [worded search %.1f ms on 20 kB, %.0f ms extrapolated to "
      "250 kB]\n",
      wordedFullMs / oursMs, wordedPrefixMs, wordedFullMs);
  // Ours where memchr cannot skip: every byte could start the key.
  std::string near(kFull, 'S');
  for (size_t i = 9; i < near.size(); i += 10) near[i] = 'W';
  const double nearMs =
      BestOf(20, [&] { ours = update::VersionFromData(update::FileKind::kBin, key, near); });
  std::printf("bin_scan_250k_near_misses: %.3f ms (goal < 10 ms)\n", nearMs);
  return ours.empty() ? 0 : 1;
}
