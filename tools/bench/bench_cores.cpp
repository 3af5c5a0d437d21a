// The byte-level cores against the common libraries, natively: CRC-32 against zlib and MD5
// against OpenSSL, over buffers in memory.
#include <openssl/evp.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <vector>

#include "side_by_side.h"
#include "update/digest/crc32.h"
#include "update/digest/md5.h"

namespace {

using mivra_bench::CompareSideBySide;
using mivra_bench::RatioOf;

volatile uint32_t gSink;  // keeps the results alive

std::vector<uint8_t> RandomBuffer(size_t length) {
  std::vector<uint8_t> bytes(length);
  std::mt19937_64 rng(1);
  for (size_t i = 0; i + 8 <= length; i += 8) {
    const uint64_t v = rng();
    for (int b = 0; b < 8; ++b) bytes[i + b] = static_cast<uint8_t>(v >> (8 * b));
  }
  return bytes;
}

double MiB(size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

void BenchCrc32(int rounds) {
  const size_t size = size_t{static_cast<unsigned long>(mivra_bench::SettingFromEnvironment("MIVRA_BENCH_CRC_MIB", 64))}
                      << 20;
  const int passes = 8;  // one pass is too short to time well
  const std::vector<uint8_t> buffer = RandomBuffer(size);
  const auto timeOf = [&](auto crc) {
    return [&, crc] {
      return mivra_bench::TimeOnce([&] {
        for (int i = 0; i < passes; ++i) gSink = crc();
      });
    };
  };
  const auto zlib = timeOf([&] { return static_cast<uint32_t>(crc32(0, buffer.data(), static_cast<uInt>(size))); });
  const auto library = timeOf([&] { return mivra::Crc32(buffer.data(), size); });
  const auto portable = timeOf(
      [&] { return ~mivra::Crc32UpdatePortable(mivra::kCrc32Initial, buffer.data(), size); });
  const double amount = MiB(size) * passes;
  char name[128];
  std::snprintf(name, sizeof(name), "P1 CRC-32 core, %.0f MiB buffer vs zlib crc32%s (goal: hold)", MiB(size),
                mivra::Crc32FoldingAvailable() ? "" : " (no carry-less multiply here)");
  mivra_bench::PrintFigure(
      mivra_bench::AsRate(CompareSideBySide(name, "", rounds, RatioOf::kReferenceOverValue, library, zlib), amount,
                          "MiB/s"));
  mivra_bench::PrintFigure(mivra_bench::AsRate(
      CompareSideBySide("P1 CRC-32 portable path vs zlib crc32", "", rounds, RatioOf::kReferenceOverValue, portable,
                        zlib),
      amount, "MiB/s"));
}

void BenchMd5(int rounds) {
  const size_t size = size_t{static_cast<unsigned long>(mivra_bench::SettingFromEnvironment("MIVRA_BENCH_MD5_MIB", 256))}
                      << 20;
  const std::vector<uint8_t> buffer = RandomBuffer(size);
  constexpr uint32_t kPiece = 1u << 20;  // the size the library's file digests feed
  const auto library = [&] {
    return mivra_bench::TimeOnce([&] {
      mivra::CMd5 md5;
      mivra::Md5Context context{};
      md5.Md5Init(&context);
      for (size_t done = 0; done < size; done += kPiece) {
        const size_t left = size - done;
        md5.Md5Update(&context, buffer.data() + done, static_cast<uint32_t>(left < kPiece ? left : kPiece));
      }
      md5.Md5Final(&context);
      gSink = context.digest[0];
    });
  };
  const auto openssl = [&] {
    return mivra_bench::TimeOnce([&] {
      unsigned char digest[16];
      unsigned int length = 0;
      EVP_MD_CTX* context = EVP_MD_CTX_new();
      EVP_DigestInit_ex(context, EVP_md5(), nullptr);
      for (size_t done = 0; done < size; done += kPiece) {
        const size_t left = size - done;
        EVP_DigestUpdate(context, buffer.data() + done, left < kPiece ? left : kPiece);
      }
      EVP_DigestFinal_ex(context, digest, &length);
      EVP_MD_CTX_free(context);
      gSink = digest[0];
    });
  };
  char name[96];
  std::snprintf(name, sizeof(name), "P2 MD5 core, %.0f MiB vs OpenSSL MD5 (goal: hold)", MiB(size));
  mivra_bench::PrintFigure(mivra_bench::AsRate(
      CompareSideBySide(name, "", rounds, RatioOf::kReferenceOverValue, library, openssl), MiB(size), "MiB/s"));
}

}  // namespace

int main() {
  const int rounds = static_cast<int>(mivra_bench::SettingFromEnvironment("MIVRA_BENCH_ROUNDS", 5));
  BenchCrc32(rounds);
  BenchMd5(rounds);
  return 0;
}
