// File reads and writes against raw read/write on the same descriptor, and
// openFile + close with share modes against raw open + close.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pal/file_io.h"
#include "ratio_reporter.h"

namespace {

namespace FileIO = Halvex::Tessaran::PAL::FileIO;
using FileIO::File;

constexpr long long kFileBytes = 32LL << 20;  // reads wrap around, writes start over at this size

std::string gDir;

std::string benchFile(const char* leaf) {
  return gDir + "/" + leaf;
}

std::wstring wide(const std::string& s) {
  return std::wstring(s.begin(), s.end());
}

void fill(const std::string& path) {
  std::vector<char> block(1 << 20, 'k');
  FILE* out = std::fopen(path.c_str(), "wb");
  for (long long done = 0; done < kFileBytes; done += static_cast<long long>(block.size()))
    std::fwrite(block.data(), 1, block.size(), out);
  std::fclose(out);
}

// Opens through File and finds its descriptor, so the baseline runs on the
// very same one: the open takes the lowest free number.
struct OpenedFile {
  File file;
  int fd = -1;
  OpenedFile(const std::string& path, FileIO::FileOpenMode mode) {
    const int probe = ::dup(0);
    ::close(probe);
    const std::wstring name = wide(path);
    file = File::openFile(name.c_str(), FileIO::Utf16Name, mode, FileIO::ShareRead, FileIO::OpenAlways);
    struct stat a, b;
    if (::fstat(probe, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_ino == b.st_ino) fd = probe;
  }
};

void BM_FileRead(benchmark::State& state) {
  const std::string path = benchFile("read.bin");
  OpenedFile f(path, FileIO::OpenRead);
  std::vector<char> buffer(static_cast<std::size_t>(state.range(0)));
  unsigned n = 0;
  for (auto _ : state) {
    if (!f.file.readFromFile(buffer.data(), static_cast<unsigned>(buffer.size()), &n))
      state.SkipWithError("read");
    if (n < buffer.size()) f.file.seek(0, FileIO::SeekBegin);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_RawRead(benchmark::State& state) {
  const std::string path = benchFile("read.bin");
  OpenedFile f(path, FileIO::OpenRead);
  if (f.fd < 0) state.SkipWithError("descriptor not found");
  std::vector<char> buffer(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    const ssize_t n = ::read(f.fd, buffer.data(), buffer.size());
    if (n < 0) state.SkipWithError("read");
    if (n < static_cast<ssize_t>(buffer.size())) ::lseek(f.fd, 0, SEEK_SET);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_FileWrite(benchmark::State& state) {
  OpenedFile f(benchFile("write.bin"), FileIO::OpenReadWrite);
  std::vector<char> buffer(static_cast<std::size_t>(state.range(0)), 'w');
  long long at = 0;
  for (auto _ : state) {
    if (!f.file.writeToFile(buffer.data(), static_cast<unsigned>(buffer.size()), nullptr))
      state.SkipWithError("write");
    if ((at += state.range(0)) >= kFileBytes) {
      f.file.seek(0, FileIO::SeekBegin);
      at = 0;
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_RawWrite(benchmark::State& state) {
  OpenedFile f(benchFile("write.bin"), FileIO::OpenReadWrite);
  if (f.fd < 0) state.SkipWithError("descriptor not found");
  std::vector<char> buffer(static_cast<std::size_t>(state.range(0)), 'w');
  long long at = 0;
  for (auto _ : state) {
    if (::write(f.fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size()))
      state.SkipWithError("write");
    if ((at += state.range(0)) >= kFileBytes) {
      ::lseek(f.fd, 0, SEEK_SET);
      at = 0;
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Share modes as applications use them: shared reading, and exclusive
// read-write.
void BM_OpenCloseFile(benchmark::State& state) {
  const std::wstring name = wide(benchFile("read.bin"));
  const auto mode = state.range(0) ? FileIO::OpenReadWrite : FileIO::OpenRead;
  const auto share = state.range(0) ? FileIO::ShareNone : FileIO::ShareRead;
  for (auto _ : state) {
    File f = File::openFile(name.c_str(), FileIO::Utf16Name, mode, share, FileIO::OpenExisting);
    if (f.openStatus() != Pyra::Ok) state.SkipWithError("open");
    f.close();
  }
}

void BM_OpenCloseRaw(benchmark::State& state) {
  const std::string path = benchFile("read.bin");
  const int flags = O_CLOEXEC | (state.range(0) ? O_RDWR : O_RDONLY);
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) state.SkipWithError("open");
    ::close(fd);
  }
}

BENCHMARK(BM_FileRead)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_RawRead)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_FileWrite)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_RawWrite)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_OpenCloseFile)->Arg(0)->Arg(1);
BENCHMARK(BM_OpenCloseRaw)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
  std::string pattern = "/tmp/kvpal-file-io-bench-XXXXXX";
  if (!::mkdtemp(pattern.data())) return 1;
  gDir = pattern;
  fill(benchFile("read.bin"));
  const int result = kvpal::bench::runWithRatios(
      argc, argv,
      {{"read 4 KiB: File vs read(2)", "BM_FileRead/4096", "BM_RawRead/4096"},
       {"read 1 MiB: File vs read(2)", "BM_FileRead/1048576", "BM_RawRead/1048576"},
       {"write 4 KiB: File vs write(2)", "BM_FileWrite/4096", "BM_RawWrite/4096"},
       {"write 1 MiB: File vs write(2)", "BM_FileWrite/1048576", "BM_RawWrite/1048576"},
       {"open+close, read sharing read: File vs open(2)", "BM_OpenCloseFile/0", "BM_OpenCloseRaw/0"},
       {"open+close, read-write exclusive: File vs open(2)", "BM_OpenCloseFile/1", "BM_OpenCloseRaw/1"}});
  ::unlink(benchFile("read.bin").c_str());
  ::unlink(benchFile("write.bin").c_str());
  ::rmdir(gDir.c_str());
  return result;
}
