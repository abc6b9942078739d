// Times CZLib::UnZip (two 4096-byte buffers, as the starter unpacks) against a
// minimal reference that inflates the same zlib streams to the same files
// with large buffers, on a generated package of about 256 MiB and a few
// hundred files. Both run in this process, alternately, five rounds each;
// the first round and the median wall-clock time of each are compared.
//   bench_package [work-directory] [archive-MiB]
#include <windows.h>
#include <shlobj.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/clock_win.h"
#include "base/handles_win.h"
#include "base/wide_text.h"
#include "package/file_stream_win.h"
#include "package/package_writer.h"
#include "package/zlibpp_win.h"
#include "system/remove_all_file.h"

namespace {


// Deterministic content: runs of random bytes (incompressible) mixed with
// word-like text (compresses about 3:1), like binaries beside resources.
class ContentGenerator {
 public:
  explicit ContentGenerator(uint64_t seed) : state_(seed * 2654435761u + 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<uint32_t>(state_ >> 16);
  }
  std::string File(size_t size) {
    static const char* const kWords[] = {"meeting ", "client ",  "window ", "render ", "audio ", "video ",
                                         "session ", "packet ",  "codec ",  "buffer ", "frame ", "stream ",
                                         "setup ",   "install ", "layout ", "theme ",  "\r\n",   "0x1F3A "};
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
      size_t run = 512 + Next() % 8192;
      if (Next() % 2 == 0) {
        for (size_t i = 0; i < run && out.size() < size; ++i) out.push_back(static_cast<char>(Next()));
      } else {
        while (run > 0 && out.size() < size) {
          const char* word = kWords[Next() % (sizeof kWords / sizeof kWords[0])];
          out += word;
          run = run > 8 ? run - 8 : 0;
        }
      }
    }
    out.resize(size);
    return out;
  }

 private:
  uint64_t state_;
};


// Writes the package; the number of files it holds.
int MakePackage(const std::wstring& path, long long target_bytes, long long* content_bytes) {
  ks::UniqueFile file(_wfopen(path.c_str(), L"wb"));
  if (!file) return 0;
  setvbuf(file.get(), nullptr, _IOFBF, 1 << 20);
  package::FileSink sink(file.get());
  ContentGenerator generator(7);
  long long written = 0;
  int files = 0;
  *content_bytes = 0;
  while (written < target_bytes) {
    size_t size = 64 * 1024 + generator.Next() % (2 * 1024 * 1024);
    std::string content = generator.File(size);
    std::string body;
    package::CompressBody(content.data(), content.size(), &body);
    char name[128];
    snprintf(name, sizeof name, "dir%02d\\sub%d\\file%04d.bin", files % 37, files % 3, files);
    if (!package::WriteEntry(sink, name, body)) return 0;
    written += static_cast<long long>(body.size() + strlen(name) + 11);
    *content_bytes += static_cast<long long>(content.size());
    ++files;
  }
  return fflush(file.get()) == 0 ? files : 0;
}

bool ReadExact(HANDLE file, void* buffer, DWORD size) {
  DWORD got = 0;
  return size == 0 || (ReadFile(file, buffer, size, &got, nullptr) && got == size);
}

// The reference: whole bodies in memory, one inflate pass per 4 MiB of
// output, plain WriteFile calls.
bool ReferenceUnpack(const std::wstring& archive, const std::wstring& destination) {
  ks::UniqueHandle input(CreateFileW(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!input) return false;
  std::vector<unsigned char> body;
  std::vector<unsigned char> output(4 << 20);
  for (;;) {
    uint32_t name_length = 0;
    DWORD got = 0;
    if (!ReadFile(input.get(), &name_length, 4, &got, nullptr) || got < 4) return true;
    char name[800];
    if (name_length == 0 || name_length > 780 || !ReadExact(input.get(), name, name_length)) return false;
    uint32_t body_length = 0;
    uint16_t mask = 0;
    if (!ReadExact(input.get(), &body_length, 4) || !ReadExact(input.get(), &mask, 2)) return false;
    body.resize(body_length);
    if (!ReadExact(input.get(), body.data(), body_length)) return false;

    std::wstring target = destination + L"\\" + Widen(name);
    size_t slash = target.rfind(L'\\');
    SHCreateDirectoryExW(nullptr, target.substr(0, slash).c_str(), nullptr);
    ks::UniqueHandle out(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!out) return false;
    z_stream stream = z_stream();
    if (inflateInit(&stream) != Z_OK) return false;
    stream.next_in = body.data();
    stream.avail_in = body_length;
    int result;
    do {
      stream.next_out = output.data();
      stream.avail_out = static_cast<uInt>(output.size());
      result = inflate(&stream, Z_NO_FLUSH);
      DWORD produced = static_cast<DWORD>(output.size() - stream.avail_out);
      DWORD written = 0;
      if (produced != 0 && (!WriteFile(out.get(), output.data(), produced, &written, nullptr) || written != produced))
        result = Z_ERRNO;
    } while (result == Z_OK);
    inflateEnd(&stream);
    if (result != Z_STREAM_END) return false;
  }
}

// A fingerprint of every file below a directory, to check both unpackers
// wrote the same.
void Fingerprint(const std::wstring& directory, uLong* adler, long long* bytes, int* files) {
  WIN32_FIND_DATAW data;
  ks::UniqueFind find(FindFirstFileW((directory + L"\\*").c_str(), &data));
  if (!find) return;
  std::vector<std::wstring> names;
  do {
    if (wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0) names.push_back(data.cFileName);
  } while (FindNextFileW(find.get(), &data));
  std::sort(names.begin(), names.end());
  std::vector<unsigned char> buffer(1 << 20);
  for (const std::wstring& name : names) {
    std::wstring path = directory + L"\\" + name;
    if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
      Fingerprint(path, adler, bytes, files);
      continue;
    }
    ks::UniqueFile file(_wfopen(path.c_str(), L"rb"));
    if (!file) continue;
    ++*files;
    *adler = adler32(*adler, reinterpret_cast<const Bytef*>(name.data()), static_cast<uInt>(name.size() * 2));
    size_t got;
    while ((got = fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
      *adler = adler32(*adler, buffer.data(), static_cast<uInt>(got));
      *bytes += static_cast<long long>(got);
    }
  }
}

// CPU time of this thread (user and kernel), in seconds.
double ThreadCpu() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

struct Outcome {
  bool ok = false;
  double seconds = 0;
  double cpu = 0;
  uLong adler = 1;
  long long bytes = 0;
  int files = 0;
};

const int kRounds = 5;

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring work = argc > 1 ? argv[1] : std::wstring(temp) + L"ks_bench_package";
  long long mib = argc > 2 ? _wtoi64(argv[2]) : 256;
  CreateDirectoryW(work.c_str(), nullptr);
  std::wstring master = work + L"\\package.master";
  std::wstring archive = work + L"\\PCClient.zip";
  std::wstring destination = work + L"\\ks_starter_dir";

  long long content_bytes = 0;
  double start = ks::SecondsNow();
  int files = MakePackage(master, mib << 20, &content_bytes);
  if (files == 0) {
    fprintf(stderr, "cannot write the package in %s\n", Narrow(work.c_str()).c_str());
    return 1;
  }
  WIN32_FILE_ATTRIBUTE_DATA info;
  GetFileAttributesExW(master.c_str(), GetFileExInfoStandard, &info);
  long long archive_bytes = (static_cast<long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  printf("package: %d files, %.1f MiB archive, %.1f MiB unpacked (made in %.1f s)\n", files,
         archive_bytes / 1048576.0, content_bytes / 1048576.0, ks::SecondsNow() - start);

  std::vector<Outcome> outcomes[2];  // UnZip, reference
  for (int round = 1; round <= kRounds; ++round) {
    // Alternate which goes first, so neither always meets the other's writes
    // still going to disk.
    for (int turn = 0; turn < 2; ++turn) {
      int which = (round + turn) % 2;
      Utility::RemoveAllFile(Narrow(destination.c_str()).c_str(), nullptr);
      // Both read a fresh copy, as the starter reads the package it has just
      // written (UnZip also deletes what it read).
      CopyFileW(master.c_str(), archive.c_str(), FALSE);
      Outcome outcome;
      if (which == 0) {
        double t = ks::SecondsNow(), c = ThreadCpu();
        CZLib unpacker;
        outcome.ok = unpacker.UnZip(Narrow(archive.c_str()).c_str(), Narrow(destination.c_str()).c_str());
        outcome.seconds = ks::SecondsNow() - t;
        outcome.cpu = ThreadCpu() - c;
      } else {
        double t = ks::SecondsNow(), c = ThreadCpu();
        outcome.ok = ReferenceUnpack(archive, destination);
        outcome.seconds = ks::SecondsNow() - t;
        outcome.cpu = ThreadCpu() - c;
      }
      Fingerprint(destination, &outcome.adler, &outcome.bytes, &outcome.files);
      printf("round %d  %-10s %6.2f s  %7.1f MiB/s  (cpu %5.2f s)  %s\n", round, which == 0 ? "UnZip" : "reference",
             outcome.seconds, content_bytes / 1048576.0 / outcome.seconds, outcome.cpu, outcome.ok ? "ok" : "FAILED");
      fflush(stdout);
      outcomes[which].push_back(outcome);
    }
  }
  Utility::RemoveAllFile(Narrow(destination.c_str()).c_str(), nullptr);
  DeleteFileW(archive.c_str());

  bool same = true;
  for (int which = 0; which < 2; ++which)
    for (const Outcome& o : outcomes[which])
      same = same && o.ok && o.adler == outcomes[1][0].adler && o.bytes == content_bytes &&
             o.files == outcomes[1][0].files;
  auto median = [](const std::vector<Outcome>& list, double Outcome::*field) {
    std::vector<double> values;
    for (const Outcome& o : list) values.push_back(o.*field);
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  };
  double unzip_median = median(outcomes[0], &Outcome::seconds);
  double reference_median = median(outcomes[1], &Outcome::seconds);
  double unzip_first = outcomes[0][0].seconds, reference_first = outcomes[1][0].seconds;
  printf("\n%-14s %-22s %-22s %s\n", "", "CZLib::UnZip", "reference (large)", "ratio");
  printf("%-14s %6.2f s (cpu %5.2f)   %6.2f s (cpu %5.2f)   %.2fx\n", "median", unzip_median,
         median(outcomes[0], &Outcome::cpu), reference_median, median(outcomes[1], &Outcome::cpu),
         unzip_median / reference_median);
  printf("%-14s %6.2f s (cpu %5.2f)   %6.2f s (cpu %5.2f)   %.2fx\n", "first round", unzip_first,
         outcomes[0][0].cpu, reference_first, outcomes[1][0].cpu, unzip_first / reference_first);
  printf("target: median and first round within 1.15x (1.25x at worst)\n");
  printf("outputs %s (%d files, %lld bytes each round)\n", same ? "identical" : "DIFFER", outcomes[0][0].files,
         outcomes[0][0].bytes);
  return same ? 0 : 1;
}
