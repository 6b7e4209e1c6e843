// Container reads of a string and a DWORD (hot, and with the read cache
// out of play) against a raw prepared SQLite point query on the same file.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "pal/settings.h"
#include "ratio_reporter.h"
#include "settings/registry_key.h"

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::detail;

namespace {

struct BenchHive {
  BenchHive() {
    char tmpl[] = "/tmp/kvpal-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    path = dir + "/settings.db";
    setenv("KVPAL_USER_HIVE", path.c_str(), 1);
    Settings::Container w(
        new RegistryKey(HKEY_CURRENT_USER, L"Software\\Halvex\\Bench", L"Settings", KEY_READ | KEY_WRITE));
    // Neighbours, so the point query searches a realistic table.
    for (unsigned i = 0; i < 200; ++i) w.setUInt32((L"Other" + std::to_wstring(i)).c_str(), i);
    w.setString(L"InstallPath", L"/opt/halvex/tessaran/2026/bin", false);
    w.setUInt32(L"Revision", 4711);
    reader = std::make_unique<Settings::Container>(
        new RegistryKey(HKEY_CURRENT_USER, L"Software\\Halvex\\Bench", L"Settings", KEY_READ));
    // The same file as a read-only machine hive, whose reads are never
    // cached: every read is a database round trip.
    setenv("KVPAL_MACHINE_HIVE", path.c_str(), 1);
    setenv("KVPAL_MACHINE_HIVE_READONLY", "1", 1);
    uncached = std::make_unique<Settings::Container>(
        new RegistryKey(HKEY_LOCAL_MACHINE, L"Software\\Halvex\\Bench", L"Settings", KEY_READ));
    SettingsHive::KeyId id;
    openHive(HKEY_CURRENT_USER)->openKey(L"Software\\Halvex\\Bench\\Settings", id);
    keyId = id;
    sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_prepare_v3(raw, "SELECT type, data FROM vals WHERE key=?1 AND fold=?2", -1,
                       SQLITE_PREPARE_PERSISTENT, &query, nullptr);
  }
  ~BenchHive() {
    sqlite3_finalize(query);
    sqlite3_close(raw);
    reader.reset();
    uncached.reset();
    std::filesystem::remove_all(dir);
  }

  // The baseline: bind, step, copy the bytes out, reset.
  std::vector<unsigned char> rawRead(const char* foldedName) {
    sqlite3_bind_int64(query, 1, keyId);
    sqlite3_bind_text(query, 2, foldedName, -1, SQLITE_STATIC);
    std::vector<unsigned char> out;
    if (sqlite3_step(query) == SQLITE_ROW) {
      auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(query, 1));
      out.assign(p, p + sqlite3_column_bytes(query, 1));
    }
    sqlite3_reset(query);
    return out;
  }

  std::string dir, path;
  std::unique_ptr<Settings::Container> reader, uncached;
  sqlite3* raw = nullptr;
  sqlite3_stmt* query = nullptr;
  SettingsHive::KeyId keyId = 0;
};

BenchHive& hive() {
  static BenchHive h;
  return h;
}

void BM_ContainerGetString(benchmark::State& state) {
  auto& c = *hive().reader;
  const std::wstring def;
  for (auto _ : state) benchmark::DoNotOptimize(c.getString(L"InstallPath", def));
}
BENCHMARK(BM_ContainerGetString);

void BM_UncachedGetString(benchmark::State& state) {
  auto& c = *hive().uncached;
  const std::wstring def;
  for (auto _ : state) benchmark::DoNotOptimize(c.getString(L"InstallPath", def));
}
BENCHMARK(BM_UncachedGetString);

void BM_RawQueryString(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(hive().rawRead("INSTALLPATH"));
}
BENCHMARK(BM_RawQueryString);

void BM_ContainerGetUInt32(benchmark::State& state) {
  auto& c = *hive().reader;
  for (auto _ : state) benchmark::DoNotOptimize(c.getUInt32(L"Revision", 0));
}
BENCHMARK(BM_ContainerGetUInt32);

void BM_UncachedGetUInt32(benchmark::State& state) {
  auto& c = *hive().uncached;
  for (auto _ : state) benchmark::DoNotOptimize(c.getUInt32(L"Revision", 0));
}
BENCHMARK(BM_UncachedGetUInt32);

void BM_RawQueryDword(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(hive().rawRead("REVISION"));
}
BENCHMARK(BM_RawQueryDword);

}  // namespace

int main(int argc, char** argv) {
  return kvpal::bench::runWithRatios(
      argc, argv,
      {{"Container::getString vs raw point query", "BM_ContainerGetString", "BM_RawQueryString"},
       {"Container::getUInt32 vs raw point query", "BM_ContainerGetUInt32", "BM_RawQueryDword"},
       {"uncached getString vs raw point query", "BM_UncachedGetString", "BM_RawQueryString"},
       {"uncached getUInt32 vs raw point query", "BM_UncachedGetUInt32", "BM_RawQueryDword"}});
}
