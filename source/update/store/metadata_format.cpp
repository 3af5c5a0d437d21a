#include "update/store/metadata_format.h"

#include <cstring>

#include "update/digest/crc32.h"

namespace mivra {

void ScrambleBytes(uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) bytes[i] = ScrambleByte(bytes[i]);
}

void UnscrambleBytes(uint8_t* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) bytes[i] = UnscrambleByte(bytes[i]);
}

SystemTime16 ReadSystemTime(const uint8_t* p) {
  return {ReadLe16(p),      ReadLe16(p + 2),  ReadLe16(p + 4),  ReadLe16(p + 6),
          ReadLe16(p + 8),  ReadLe16(p + 10), ReadLe16(p + 12), ReadLe16(p + 14)};
}

void WriteSystemTime(uint8_t* p, const SystemTime16& time) {
  const uint16_t words[8] = {time.year, time.month,  time.dayOfWeek, time.day,
                             time.hour, time.minute, time.second,    time.milliseconds};
  for (int i = 0; i < 8; ++i) WriteLe16(p + 2 * i, words[i]);
}

std::wstring DecodeStoredRecordName(const MetadataFormat& format, const uint8_t* stored) {
  // Only the units before the name's end are unscrambled: the zero fill after it is most of the
  // field, and a file's every name is decoded at each open. A unit is NUL exactly when both its
  // stored bytes are the stored form of 0.
  constexpr uint8_t kStoredZero = ScrambleByte(0);
  const uint8_t* field = stored + format.recordNameOffset;
  size_t length = 0;
  while (length < kRecordNameChars && (field[2 * length] != kStoredZero || field[2 * length + 1] != kStoredZero)) {
    ++length;
  }
  std::wstring name(length, L'\0');
  for (size_t i = 0; i < length; ++i) {
    name[i] = static_cast<wchar_t>(UnscrambleByte(field[2 * i]) | (UnscrambleByte(field[2 * i + 1]) << 8));
  }
  return name;
}

std::vector<std::wstring> DecodeRecordNames(const MetadataFormat& format, const uint8_t* area, size_t length) {
  std::vector<std::wstring> names;
  if (!area) return names;
  const uint64_t count = WholeRecords(format, length);
  names.reserve(count);
  for (uint64_t i = 0; i < count; ++i) names.push_back(DecodeStoredRecordName(format, area + i * format.recordSize));
  return names;
}

std::vector<uint8_t> BuildNewHeader(const MetadataFormat& format) {
  std::vector<uint8_t> header(format.headerSize, 0);
  std::memcpy(header.data(), format.magic, kMagicSize);
  header[kVersionOffset] = kMetadataVersion;
  std::memcpy(header.data() + kCompanyOffset, kMetadataCompany, sizeof(kMetadataCompany));
  return header;
}

MetadataVerdict ExamineMetadataFile(const MetadataFormat& format, const uint8_t* bytes, size_t length) {
  MetadataVerdict verdict;
  if (!bytes) return verdict;
  verdict.magicMatches = length >= kMagicSize && std::memcmp(bytes, format.magic, kMagicSize) == 0;
  if (length < format.recordAreaOffset()) return verdict;
  verdict.headerComplete = true;
  verdict.storedCrc = ReadLe32(bytes + kHeaderCrcOffset);
  verdict.recordCount = StoredRecordCount(format, bytes);
  const size_t area = length - format.recordAreaOffset();
  verdict.computedCrc = Crc32(bytes + format.recordAreaOffset(), area);
  verdict.crcMatches = verdict.computedCrc == verdict.storedCrc;
  verdict.recordsInFile = WholeRecords(format, area);
  verdict.lengthExact = area % format.recordSize == 0;
  uint64_t counted = 0;
  verdict.unfinishedAppend = !verdict.crcMatches &&
                             CountedAreaLength(format, verdict.recordCount, area, &counted) &&
                             Crc32(bytes + format.recordAreaOffset(), static_cast<size_t>(counted)) == verdict.storedCrc;
  return verdict;
}

bool CountedAreaLength(const MetadataFormat& format, uint32_t recordCount, uint64_t areaLength, uint64_t* counted) {
  *counted = uint64_t{recordCount} * format.recordSize;
  return *counted < areaLength;
}

}  // namespace mivra
