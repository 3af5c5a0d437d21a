// Tests' own reading of bkmdata.dat, written from the file layout alone so that it checks the
// store rather than repeating it: plain header and state block, records unscrambled byte by byte.
#ifndef MIVRA_UPDATE_BACKUP_BKMDATA_TEST_FILE_H_
#define MIVRA_UPDATE_BACKUP_BKMDATA_TEST_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mivra_test {

inline constexpr size_t kHeaderBytes = 65;
inline constexpr size_t kAreaOffset = 93;
inline constexpr size_t kRecordBytes = 560;
inline constexpr size_t kCrcAt = 61;
inline constexpr size_t kCountAt = 65;
inline constexpr size_t kCreatedAt = 69;
inline constexpr size_t kStateFlagsAt = 85;
inline constexpr size_t kReservedAt = 89;

struct TestBkRecord {
  uint32_t size = 0;
  uint32_t flags = 0;
  uint16_t time[8] = {};
  std::wstring name;
  std::string digest;  // 16 raw bytes
};

// Every whole record the file holds, in order.
std::vector<TestBkRecord> RecordsOf(const std::string& file);

// The 560 plain bytes of `record`, laid out field by field, and their stored (scrambled) form.
std::string PlainRecordBytes(const TestBkRecord& record);
std::string Scrambled(std::string_view plain);

uint32_t Le32At(const std::string& bytes, size_t offset);
void PutLe32(std::string& bytes, size_t offset, uint32_t value);

// CRC-32 computed bit by bit, independent of the library's table.
uint32_t ReferenceCrc32(std::string_view bytes);

// The raw 16 bytes of a digest written in hexadecimal.
std::string DigestFromHex(std::string_view hex);

}  // namespace mivra_test

#endif  // MIVRA_UPDATE_BACKUP_BKMDATA_TEST_FILE_H_
