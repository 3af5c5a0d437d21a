#include "update/backup/bkmdata_test_file.h"

namespace mivra_test {
namespace {

uint16_t Le16At(const std::string& bytes, size_t offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) | (static_cast<uint8_t>(bytes[offset + 1]) << 8));
}

void PutLe16(std::string& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xFF);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

}  // namespace

uint32_t Le32At(const std::string& bytes, size_t offset) {
  return Le16At(bytes, offset) | (static_cast<uint32_t>(Le16At(bytes, offset + 2)) << 16);
}

void PutLe32(std::string& bytes, size_t offset, uint32_t value) {
  PutLe16(bytes, offset, static_cast<uint16_t>(value & 0xFFFF));
  PutLe16(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

std::vector<TestBkRecord> RecordsOf(const std::string& file) {
  std::vector<TestBkRecord> records;
  for (size_t at = kAreaOffset; at + kRecordBytes <= file.size(); at += kRecordBytes) {
    std::string plain = file.substr(at, kRecordBytes);
    for (char& c : plain) c = static_cast<char>(((static_cast<uint8_t>(c) ^ 7) + 15) & 0xFF);
    TestBkRecord record;
    record.size = Le32At(plain, 0);
    record.flags = Le32At(plain, 4);
    for (int i = 0; i < 8; ++i) record.time[i] = Le16At(plain, 8 + 2 * i);
    for (size_t i = 0; i < 260 && Le16At(plain, 24 + 2 * i) != 0; ++i) {
      record.name.push_back(static_cast<wchar_t>(Le16At(plain, 24 + 2 * i)));
    }
    record.digest = plain.substr(544, 16);
    records.push_back(record);
  }
  return records;
}

std::string PlainRecordBytes(const TestBkRecord& record) {
  std::string plain(kRecordBytes, '\0');
  PutLe32(plain, 0, record.size);
  PutLe32(plain, 4, record.flags);
  for (int i = 0; i < 8; ++i) PutLe16(plain, 8 + 2 * i, record.time[i]);
  for (size_t i = 0; i < record.name.size(); ++i) PutLe16(plain, 24 + 2 * i, static_cast<uint16_t>(record.name[i]));
  plain.replace(544, 16, record.digest.size() == 16 ? record.digest : std::string(16, '\0'));
  return plain;
}

std::string Scrambled(std::string_view plain) {
  std::string stored(plain);
  for (char& c : stored) c = static_cast<char>(((static_cast<uint8_t>(c) - 15) & 0xFF) ^ 7);
  return stored;
}

uint32_t ReferenceCrc32(std::string_view bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string DigestFromHex(std::string_view hex) {
  std::string raw;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    raw.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return raw;
}

}  // namespace mivra_test
