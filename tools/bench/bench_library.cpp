// The library's exports under Wine against what the same work costs without it: CopyFileW and one
// MD5 pass through the system service. One figure per run of the program, so that each process
// measures its own peak working set:
//   mivra_bench add-large | adds | rollback [FILES] | query
#include <windows.h>
#include <psapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "mivra.h"
#include "side_by_side.h"
#include "support/file_util.h"
#include "support/product_test.h"
#include "update/frame/scoped_handles.h"

namespace {

using mivra_bench::Figure;
using mivra_bench::RatioOf;
using mivra_bench::TimeOnce;
using mivra_bench::WithGoal;

constexpr DWORD kPiece = 1u << 20;

[[noreturn]] void Die(const char* what, uint32_t code = 0) {
  std::fprintf(stderr, "mivra_bench: %s failed (error %u)\n", what, code);
  std::exit(1);
}

long Setting(const char* name, long fallback) { return mivra_bench::SettingFromEnvironment(name, fallback); }

// A fresh install directory registered for the library, with the product's stand-ins, and no
// library folders yet.
std::wstring PrepareProduct() {
  const std::wstring dir = mivra_test::TestInstallDir();
  mivra_test::RemoveTree(dir.substr(0, dir.size() - 1));
  mivra_test::MakeFolder(dir);
  mivra_test::SetAppPathsValue(dir);
  for (const wchar_t* name : {L"prdinf.dll", L"LBLRES.DLL"}) {
    CopyFileW((mivra_test::ExeFolder() + name).c_str(), (dir + name).c_str(), FALSE);
  }
  mivra_test::RemoveTree(mivra_test::CommonFilesFolder() + L"\\" + mivra_test::kCompany);
  return dir;
}

std::wstring Numbered(const wchar_t* prefix, int number, const wchar_t* extension) {
  wchar_t name[64];
  std::swprintf(name, 64, L"%ls%05d.%ls", prefix, number, extension);
  return name;
}

// Writes `size` bytes of a pattern that differs from file to file.
void WritePatternFile(const std::wstring& path, uint64_t size, uint32_t seed) {
  mivra::ScopedHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) Die("creating a bench file");
  std::vector<uint32_t> piece(kPiece / 4);
  uint32_t state = seed * 2654435761u + 1;
  for (uint64_t done = 0; done < size;) {
    for (uint32_t& word : piece) word = state = state * 1664525u + 1013904223u;
    const DWORD chunk = static_cast<DWORD>(size - done < kPiece ? size - done : kPiece);
    DWORD written = 0;
    if (!WriteFile(file.get(), piece.data(), chunk, &written, nullptr) || written != chunk) Die("writing a bench file");
    done += chunk;
  }
}

// Changes the first bytes of a file, keeping its size.
void ChangeFile(const std::wstring& path, uint32_t round) {
  mivra::ScopedHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  char mark[32];
  const int length = std::snprintf(mark, sizeof(mark), "changed in round %u", round);
  DWORD written = 0;
  if (!file || !WriteFile(file.get(), mark, length, &written, nullptr)) Die("changing a bench file");
}

// The reference digest: the system's MD5 service over one provider, in pieces of 1 MiB.
class ReferenceMd5 {
 public:
  ReferenceMd5() : piece_(kPiece) {
    if (!CryptAcquireContextW(provider_.receive(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
      Die("CryptAcquireContextW");
    }
  }
  void Of(const std::wstring& path, uint8_t (&digest)[16]) {
    mivra::ScopedCryptHash hash;
    if (!CryptCreateHash(provider_.get(), CALG_MD5, 0, 0, hash.receive())) Die("CryptCreateHash");
    mivra::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) Die("opening a file for the reference digest");
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file.get(), piece_.data(), kPiece, &got, nullptr)) Die("ReadFile");
      if (got == 0) break;
      if (!CryptHashData(hash.get(), piece_.data(), got, 0)) Die("CryptHashData");
    }
    DWORD length = 16;
    if (!CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0)) Die("CryptGetHashParam");
  }

 private:
  mivra::ScopedCryptProv provider_;
  std::vector<BYTE> piece_;
};

// One MD5 pass over the files, with one provider for the pass.
void DigestPass(const std::vector<std::wstring>& paths) {
  ReferenceMd5 md5;
  uint8_t digest[16];
  for (const std::wstring& path : paths) md5.Of(path, digest);
}

void Flush(const std::wstring& path) {
  mivra::ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file || !FlushFileBuffers(file.get())) Die("flushing a reference copy");
}

struct MemoryUse {
  double workingMiB;
  double peakMiB;
};

MemoryUse Memory() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return {counters.WorkingSetSize / 1048576.0, counters.PeakWorkingSetSize / 1048576.0};
}

void PrintMemory(const char* during, const MemoryUse& before, double dataMiB) {
  const double growth = Memory().peakMiB - before.workingMiB;
  std::printf("M peak working-set growth during %s: %.1f MiB (reference: %.0f MiB of file data) ratio %.3f\n", during,
              growth < 0 ? 0.0 : growth, dataMiB, (growth < 0 ? 0.0 : growth) / dataMiB);
  std::fflush(stdout);
}

std::wstring ScratchFolder(const std::wstring& installDir) {
  const std::wstring scratch = installDir.substr(0, installDir.size() - 1) + L"-reference\\";
  mivra_test::RemoveTree(scratch.substr(0, scratch.size() - 1));
  mivra_test::MakeFolder(scratch);
  return scratch;
}

// Measures the library and two references round after round, the order turning each round so
// that none of the three always meets a warm or a cold cache. Returns (library, reference) pairs
// for each reference.
std::pair<std::vector<std::pair<double, double>>, std::vector<std::pair<double, double>>> RunThreeWays(
    int rounds, const std::function<void()>& setup, const std::function<double()>& library,
    const std::function<double()>& reference, const std::function<double()>& floor) {
  std::vector<std::pair<double, double>> plain, floored;
  for (int round = 0; round < rounds; ++round) {
    double ours = 0, ref = 0, refFloor = 0;
    for (int step = 0; step < 3; ++step) {
      setup();
      switch ((round + step) % 3) {
        case 0: ours = library(); break;
        case 1: ref = reference(); break;
        case 2: refFloor = floor(); break;
      }
    }
    plain.emplace_back(ours, ref);
    floored.emplace_back(ours, refFloor);
  }
  return {plain, floored};
}

void BenchAddLarge(int rounds) {
  const long mib = Setting("MIVRA_BENCH_LARGE_MIB", 256);
  const std::wstring dir = PrepareProduct();
  const std::wstring scratch = ScratchFolder(dir);
  const std::wstring source = dir + L"LARGE.BIN";
  const std::wstring copy = scratch + L"LARGE.BIN";
  WritePatternFile(source, uint64_t(mib) << 20, 7);

  const auto library = [&] {
    uint32_t error = 0;
    MdataObject* object = MivraCreateBkMdataObject(&error);
    if (!object) Die("MivraCreateBkMdataObject", error);
    const double seconds = TimeOnce([&] {
      if (!MivraAddToBackup(object, source.c_str(), &error)) Die("MivraAddToBackup", error);
    });
    MivraDeleteBkMdataObject(object);
    return seconds;
  };
  // The least an add can do and still prove its copy: the source's digest before copying (a
  // source that changes under the copy shows), the copy pushed to disk, the copy's digest after.
  const auto reference = [&](bool proof) {
    DeleteFileW(copy.c_str());
    return TimeOnce([&] {
      if (proof) DigestPass({source});
      if (!CopyFileW(source.c_str(), copy.c_str(), FALSE)) Die("CopyFileW");
      if (proof) Flush(copy);
      DigestPass({proof ? copy : source});
    });
  };
  const MemoryUse before = Memory();
  const auto [plain, flushed] = RunThreeWays(
      rounds, [] {}, library, [&] { return reference(false); }, [&] { return reference(true); });
  char name[160];
  std::snprintf(name, sizeof(name), "P3 MivraAddToBackup of one %ld MiB file, with an object, vs CopyFileW + one MD5 pass",
                mib);
  mivra_bench::PrintFigure(WithGoal(mivra_bench::FigureFromPairs(name, "s", RatioOf::kValueOverReference, plain), 1.3));
  std::snprintf(name, sizeof(name),
                "P3 the same vs its floor: MD5 of the source, CopyFileW, FlushFileBuffers, MD5 of the copy");
  mivra_bench::PrintFigure(mivra_bench::FigureFromPairs(name, "s", RatioOf::kValueOverReference, flushed));
  PrintMemory("P3", before, static_cast<double>(mib));
}

// Adds every file, one call each, and returns each call's time.
std::vector<double> TimeAdds(MdataObject* object, const std::vector<std::wstring>& paths) {
  std::vector<double> times;
  times.reserve(paths.size());
  for (const std::wstring& path : paths) {
    uint32_t error = 0;
    times.push_back(TimeOnce([&] {
      if (!MivraAddToBackup(object, path.c_str(), &error)) Die("MivraAddToBackup", error);
    }));
  }
  return times;
}

double MeanOf(const std::vector<double>& times, size_t from, size_t count) {
  double sum = 0;
  for (size_t i = from; i < from + count; ++i) sum += times[i];
  return sum / static_cast<double>(count);
}

// The same work without the library: each file copied into one folder and proven there, as an
// add must: open, read and MD5 the source, create, write and flush the copy, read it back and MD5
// it. Under Wine, creating a name that is not there yet reads the whole folder, so this alone
// grows with the folder.
class PlainVerifiedCopy {
 public:
  PlainVerifiedCopy() : piece_(kPiece) {
    if (!CryptAcquireContextW(provider_.receive(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
      Die("CryptAcquireContextW");
    }
  }
  void Copy(const std::wstring& source, const std::wstring& copy) {
    mivra::ScopedHandle from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from) Die("opening a source");
    DWORD got = 0;
    if (!ReadFile(from.get(), piece_.data(), kPiece, &got, nullptr)) Die("ReadFile");
    Digest(piece_.data(), got);
    mivra::ScopedHandle to(
        CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!to || !WriteFile(to.get(), piece_.data(), got, &written, nullptr) || written != got) Die("writing a copy");
    if (!FlushFileBuffers(to.get())) Die("FlushFileBuffers");
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(to.get(), start, nullptr, FILE_BEGIN) ||
        !ReadFile(to.get(), piece_.data(), kPiece, &got, nullptr)) {
      Die("reading a copy back");
    }
    Digest(piece_.data(), got);
  }

 private:
  void Digest(const BYTE* data, DWORD length) {
    mivra::ScopedCryptHash hash;
    BYTE digest[16];
    DWORD digestLength = 16;
    if (!CryptCreateHash(provider_.get(), CALG_MD5, 0, 0, hash.receive()) ||
        !CryptHashData(hash.get(), data, length, 0) || !CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &digestLength, 0)) {
      Die("MD5 of a copy");
    }
  }
  mivra::ScopedCryptProv provider_;
  std::vector<BYTE> piece_;
};

std::vector<double> TimePlainCopies(const std::vector<std::wstring>& paths, const std::wstring& folder) {
  std::vector<double> times;
  times.reserve(paths.size());
  PlainVerifiedCopy plain;
  for (const std::wstring& path : paths) {
    const std::wstring copy = folder + path.substr(path.find_last_of(L'\\') + 1);
    times.push_back(TimeOnce([&] { plain.Copy(path, copy); }));
  }
  return times;
}

void BenchAdds(int rounds) {
  const long files = Setting("MIVRA_BENCH_ADD_FILES", 3000);
  const size_t window = files >= 200 ? 100 : static_cast<size_t>(files / 2);
  const std::wstring dir = PrepareProduct();
  std::vector<std::wstring> paths;
  for (int i = 0; i < files; ++i) {
    paths.push_back(dir + Numbered(L"A", i, L"DAT"));
    WritePatternFile(paths.back(), 4096, static_cast<uint32_t>(i));
  }
  // Per round, in ms per file: (last window, first window) of each way.
  std::vector<std::pair<double, double>> withObject, withoutObject, plainCopies;
  double totalWith = 0, totalWithout = 0;
  const std::wstring scratch = ScratchFolder(dir);
  for (int round = 0; round < rounds; ++round) {
    mivra_test::RemoveTree(scratch.substr(0, scratch.size() - 1));
    mivra_test::MakeFolder(scratch);
    const std::vector<double> copyTimes = TimePlainCopies(paths, scratch);
    plainCopies.push_back({MeanOf(copyTimes, copyTimes.size() - window, window) * 1000, MeanOf(copyTimes, 0, window) * 1000});
    for (int step = 0; step < 2; ++step) {
      const bool useObject = (round + step) % 2 == 0;
      uint32_t error = 0;
      MivraDeleteBackup(&error);
      MdataObject* object = nullptr;
      if (useObject && !(object = MivraCreateBkMdataObject(&error))) Die("MivraCreateBkMdataObject", error);
      const std::vector<double> times = TimeAdds(object, paths);
      if (object) MivraDeleteBkMdataObject(object);
      const std::pair<double, double> pair{MeanOf(times, times.size() - window, window) * 1000,
                                           MeanOf(times, 0, window) * 1000};
      double total = 0;
      for (double t : times) total += t;
      (useObject ? withObject : withoutObject).push_back(pair);
      (useObject ? totalWith : totalWithout) += total / rounds;
    }
  }
  const auto growthOf = [](const std::vector<std::pair<double, double>>& ways,
                           const std::vector<std::pair<double, double>>& copies) {
    std::vector<std::pair<double, double>> pairs;
    for (size_t i = 0; i < ways.size(); ++i) {
      pairs.emplace_back(ways[i].first - ways[i].second, copies[i].first - copies[i].second);
    }
    return pairs;
  };
  const auto firstOf = [](const std::vector<std::pair<double, double>>& ways,
                          const std::vector<std::pair<double, double>>& copies) {
    std::vector<std::pair<double, double>> pairs;
    for (size_t i = 0; i < ways.size(); ++i) pairs.emplace_back(ways[i].second, copies[i].second);
    return pairs;
  };
  char name[200];
  for (const bool useObject : {true, false}) {
    const auto& way = useObject ? withObject : withoutObject;
    const char* how = useObject ? "with" : "without";
    std::snprintf(name, sizeof(name),
                  "P4 growth per add of 4 KiB %s an object, first %zu to last %zu of %ld, vs that of plain verified copies",
                  how, window, window, files);
    mivra_bench::PrintFigure(
        WithGoal(mivra_bench::FigureFromPairs(name, "ms/file", RatioOf::kValueOverReference, growthOf(way, plainCopies)), 1.5));
  }
  for (const bool useObject : {true, false}) {
    const auto& way = useObject ? withObject : withoutObject;
    std::snprintf(name, sizeof(name), "P7 one add of 4 KiB %s an object (first %zu of %ld) vs one plain verified copy",
                  useObject ? "with" : "without", window, files);
    mivra_bench::PrintFigure(
        WithGoal(mivra_bench::FigureFromPairs(name, "ms/file", RatioOf::kValueOverReference, firstOf(way, plainCopies)), 2.5));
  }
  std::snprintf(name, sizeof(name), "P4 %ld adds of 4 KiB with an object, last %zu (reference: first %zu)", files,
                window, window);
  mivra_bench::PrintFigure(mivra_bench::FigureFromPairs(name, "ms/file", RatioOf::kValueOverReference, withObject));
  std::snprintf(name, sizeof(name), "P4 %ld adds of 4 KiB without an object, last %zu (reference: first %zu)", files,
                window, window);
  mivra_bench::PrintFigure(mivra_bench::FigureFromPairs(name, "ms/file", RatioOf::kValueOverReference, withoutObject));
  std::snprintf(name, sizeof(name), "P4 plain verified copies of 4 KiB into one folder, last %zu (reference: first %zu)",
                window, window);
  mivra_bench::PrintFigure(mivra_bench::FigureFromPairs(name, "ms/file", RatioOf::kValueOverReference, plainCopies));
  std::printf("P4 all %ld adds: %.2f s with an object, %.2f s without (mean of %d rounds)\n", files, totalWith,
              totalWithout, rounds);
  std::fflush(stdout);
}

void BenchRollback(int rounds, long files) {
  const long mib = Setting("MIVRA_BENCH_ROLLBACK_MIB", 256);
  const uint64_t size = (uint64_t(mib) << 20) / static_cast<uint64_t>(files);
  const std::wstring dir = PrepareProduct();
  const std::wstring scratch = ScratchFolder(dir);
  std::vector<std::wstring> installed, backedUp, copies;
  uint32_t error = 0;
  MdataObject* object = MivraCreateBkMdataObject(&error);
  if (!object) Die("MivraCreateBkMdataObject", error);
  const std::wstring bkup = mivra_test::BaseFolderFor(mivra_test::kCompany, mivra_test::kProduct) + L"\\bkup\\";
  for (int i = 0; i < files; ++i) {
    const std::wstring name = Numbered(L"R", i, L"BIN");
    installed.push_back(dir + name);
    backedUp.push_back(bkup + name);
    copies.push_back(scratch + name);
    WritePatternFile(installed.back(), size, static_cast<uint32_t>(i));
    if (!MivraAddToBackup(object, installed.back().c_str(), &error)) Die("MivraAddToBackup", error);
  }
  MivraDeleteBkMdataObject(object);
  if (!MivraCommitBackup(&error)) Die("MivraCommitBackup", error);

  uint32_t changeRound = 0;
  const auto changeEveryFile = [&] {
    ++changeRound;
    for (const std::wstring& path : installed) ChangeFile(path, changeRound);
    // The count of rollbacks is limited; each round starts from a fresh database.
    uint32_t ignored = 0;
    MivraDeleteRollBackDB(&ignored);
    for (const std::wstring& path : copies) DeleteFileW(path.c_str());
  };
  const auto library = [&] {
    return TimeOnce([&] {
      uint8_t outFlag = 0;
      uint32_t code = 0;
      if (!MivraRollback(MIVRA_ROLLBACK_PERFORM, &outFlag, &code)) Die("MivraRollback", code);
    });
  };
  // The floor: what a restore must do to prove the backup and each copy it puts in place.
  const auto reference = [&](bool proof) {
    return TimeOnce([&] {
      if (proof) DigestPass(backedUp);
      for (size_t i = 0; i < backedUp.size(); ++i) {
        if (!CopyFileW(backedUp[i].c_str(), copies[i].c_str(), FALSE)) Die("CopyFileW");
        if (proof) Flush(copies[i]);
      }
      DigestPass(proof ? copies : backedUp);
    });
  };
  const MemoryUse before = Memory();
  const auto [plain, flushed] = RunThreeWays(
      rounds, changeEveryFile, library, [&] { return reference(false); }, [&] { return reference(true); });
  char name[160];
  std::snprintf(name, sizeof(name), "P5 MivraRollback perform, %ld files / %ld MiB all changed, vs copy + one MD5 pass",
                files, mib);
  mivra_bench::PrintFigure(
      WithGoal(mivra_bench::FigureFromPairs(name, "s", RatioOf::kValueOverReference, plain), files > 1000 ? 2.5 : 2.0));
  std::snprintf(name, sizeof(name),
                "P5 the same vs its floor: MD5 of the backup, copy, FlushFileBuffers and MD5 of each copy");
  mivra_bench::PrintFigure(mivra_bench::FigureFromPairs(name, "s", RatioOf::kValueOverReference, flushed));
  PrintMemory("P5", before, static_cast<double>(mib));
}

void BenchQuery(int rounds) {
  const long files = Setting("MIVRA_BENCH_QUERY_FILES", 1000);
  const long kib = Setting("MIVRA_BENCH_QUERY_KIB", 64);
  const std::wstring dir = PrepareProduct();
  std::vector<std::wstring> paths;
  uint32_t error = 0;
  MdataObject* database = MivraCreateRBMdataObject(&error);
  if (!database) Die("MivraCreateRBMdataObject", error);
  ReferenceMd5 md5;
  for (int i = 0; i < files; ++i) {
    paths.push_back(dir + Numbered(L"Q", i, L"DAT"));
    WritePatternFile(paths.back(), uint64_t(kib) << 10, static_cast<uint32_t>(i));
    uint8_t digest[16];
    md5.Of(paths.back(), digest);
    if (!MivraUpdateRollBackDB(database, paths.back().c_str(), static_cast<uint32_t>(kib << 10), digest, &error)) {
      Die("MivraUpdateRollBackDB", error);
    }
  }
  MivraDeleteRBMdataObject(database);
  const auto library = [&] {
    return TimeOnce([&] {
      uint8_t outFlag = 1;
      uint32_t code = 0;
      if (!MivraRollback(MIVRA_ROLLBACK_CHANGED, &outFlag, &code) || outFlag != 0) Die("the query", code);
    });
  };
  const auto reference = [&] { return TimeOnce([&] { DigestPass(paths); }); };
  const std::wstring traceFile = dir.substr(0, dir.size() - 1) + L"-reference\\trace.log";
  for (const bool traced : {false, true}) {
    if (traced) {
      mivra_test::MakeFolder(dir.substr(0, dir.size() - 1) + L"-reference");
      mivra_test::SetEnv(L"MIVRA_TRACE", traceFile.c_str());
    }
    char name[200];
    std::snprintf(name, sizeof(name),
                  "P6 query with the changed-file test, trace %s, %ld unchanged %ld KiB files, vs one MD5 pass",
                  traced ? "on" : "off", files, kib);
    const auto setup = [&] {
      if (traced) DeleteFileW(traceFile.c_str());
    };
    mivra_bench::PrintFigure(WithGoal(
        mivra_bench::Scaled(mivra_bench::CompareSideBySide(name, "", rounds, RatioOf::kValueOverReference, library,
                                                           reference, setup),
                            1000, "ms"),
        1.2));
  }
  mivra_test::SetEnv(L"MIVRA_TRACE", nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring figure = argc > 1 ? argv[1] : L"";
  for (const wchar_t* name : {L"MIVRA_STANDIN_RPI_RESULT", L"MIVRA_STANDIN_COMPANY", L"MIVRA_STANDIN_PRODUCT",
                              L"MIVRA_STANDIN_RPI_CALLS", L"MIVRA_STANDIN_NTFHUB", L"MIVRA_STANDIN_NTFHUB_LOG"}) {
    mivra_test::SetEnv(name, nullptr);
  }
  const int rounds = static_cast<int>(Setting("MIVRA_BENCH_ROUNDS", 3));
  if (figure == L"add-large") {
    BenchAddLarge(rounds);
  } else if (figure == L"adds") {
    // Three rounds at least: the growth figures are differences of small means, and one noisy
    // round must not decide the median, as it does of two.
    BenchAdds(static_cast<int>(Setting("MIVRA_BENCH_ADD_ROUNDS", 3)));
  } else if (figure == L"rollback") {
    const long files = argc > 2 ? std::wcstol(argv[2], nullptr, 10) : 0;
    BenchRollback(rounds, files > 0 ? files : Setting("MIVRA_BENCH_ROLLBACK_FILES", 3000));
  } else if (figure == L"query") {
    BenchQuery(static_cast<int>(Setting("MIVRA_BENCH_QUERY_ROUNDS", 5)));
  } else {
    std::fprintf(stderr, "usage: mivra_bench add-large | adds | rollback [FILES] | query\n");
    return 2;
  }
  const std::wstring dir = mivra_test::TestInstallDir();
  mivra_test::RemoveTree(dir.substr(0, dir.size() - 1));
  mivra_test::RemoveTree(dir.substr(0, dir.size() - 1) + L"-reference");
  mivra_test::RemoveTree(mivra_test::CommonFilesFolder() + L"\\" + mivra_test::kCompany);
  return 0;
}
