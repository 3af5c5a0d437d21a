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

namespace {

// The units of a stored name field before the name's end. Only those are unscrambled: the zero
// fill after it is most of the field, and a file's every name is decoded at each open. A unit is
// NUL exactly when both its stored bytes are the stored form of 0.
size_t StoredNameLength(const uint8_t* field) {
  constexpr uint8_t kStoredZero = ScrambleByte(0);
  size_t length = 0;
  while (length < kRecordNameChars && (field[2 * length] != kStoredZero || field[2 * length + 1] != kStoredZero)) {
    ++length;
  }
  return length;
}

void UnscrambleName(const uint8_t* field, size_t length, wchar_t* name) {
  for (size_t i = 0; i < length; ++i) {
    name[i] = static_cast<wchar_t>(UnscrambleByte(field[2 * i]) | (UnscrambleByte(field[2 * i + 1]) << 8));
  }
}

}  // namespace

std::wstring DecodeStoredRecordName(const MetadataFormat& format, const uint8_t* stored) {
  const uint8_t* field = stored + format.recordNameOffset;
  std::wstring name(StoredNameLength(field), L'\0');
  UnscrambleName(field, name.size(), name.data());
  return name;
}

void RecordNames::MakeRoomForOne() {
  // Grown by half again, not to the one more each append needs: that would copy every end at each.
  if (ends_.size() == ends_.capacity()) ends_.reserve(ends_.size() + ends_.size() / 2 + 16);
}

void RecordNames::Append(std::wstring_view name) {
  MakeRoomForOne();
  units_.append(name);
  ends_.push_back(units_.size());
}

void RecordNames::AppendStored(const MetadataFormat& format, const uint8_t* stored) {
  const uint8_t* field = stored + format.recordNameOffset;
  const size_t length = StoredNameLength(field);
  const size_t begin = units_.size();
  MakeRoomForOne();
  units_.resize(begin + length);
  UnscrambleName(field, length, units_.data() + begin);
  ends_.push_back(units_.size());
}

void RecordNames::Replace(size_t index, std::wstring_view name) {
  if (index >= ends_.size()) return;
  const size_t begin = index == 0 ? 0 : ends_[index - 1];
  const size_t old = ends_[index] - begin;
  units_.replace(begin, old, name.data(), name.size());
  for (size_t i = index; i < ends_.size(); ++i) ends_[i] = ends_[i] - old + name.size();
}

std::vector<std::wstring> RecordNames::ToVector() const {
  std::vector<std::wstring> names;
  names.reserve(size());
  for (size_t i = 0; i < size(); ++i) names.emplace_back((*this)[i]);
  return names;
}

RecordNames DecodeRecordNames(const MetadataFormat& format, const uint8_t* area, size_t length) {
  RecordNames names;
  if (!area) return names;
  const uint64_t count = WholeRecords(format, length);
  names.Reserve(static_cast<size_t>(count));
  for (uint64_t i = 0; i < count; ++i) names.AppendStored(format, area + i * format.recordSize);
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
