// The bytes of updtconf.dat: a 12-byte header ("UPCN", checksum, record count) and 1 to 256
// records of 540 bytes, every record byte stored with its two nibbles exchanged. The checksum is
// the CRC-32 register over the stored record area, without the final complement.
//
// The steps are separate so that the file reader can interleave them with its reads; the
// whole-buffer parser runs the same steps in the same order.
#ifndef MIVRA_UPDATE_MANIFEST_UPDATE_CONFIG_PARSER_H_
#define MIVRA_UPDATE_MANIFEST_UPDATE_CONFIG_PARSER_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "update/manifest/config_link_list.h"

namespace mivra {

inline constexpr size_t kUpdateConfigHeaderSize = 12;
inline constexpr uint32_t kUpdateConfigMaxRecords = 256;

// The step at which reading the configuration stopped; each has its own message.
enum class UpdateConfigStep {
  kOk,
  kOpen,          // value: the C runtime's error number
  kHeaderRead,
  kMagic,
  kRecordCount,   // value: the record count
  kLength,
  kAllocation,
  kAreaRead,
  kChecksum,      // value: computed register, stored: the header's checksum
  kRecordRead,    // value: zero-based record index
  kInsert,        // value: zero-based record index
};

struct UpdateConfigStatus {
  UpdateConfigStep step = UpdateConfigStep::kOk;
  uint32_t value = 0;
  uint32_t stored = 0;

  bool ok() const { return step == UpdateConfigStep::kOk; }
};

struct UpdateConfigHeader {
  uint32_t checksum = 0;
  uint32_t recordCount = 0;
};

// Magic, record count (1 to 256) and the exact file length 12 + 540 x count.
UpdateConfigStatus CheckUpdateConfigHeader(const uint8_t* header, uint64_t fileLength,
                                           UpdateConfigHeader* parsed);

// Size of the record area the header announces; the count must have passed the header check.
size_t UpdateConfigAreaSize(const UpdateConfigHeader& header);

// Compares the checksum over the record area, as stored, with the header's.
UpdateConfigStatus CheckUpdateConfigArea(const UpdateConfigHeader& header, const uint8_t* area,
                                         size_t size);

// Decodes one stored record and inserts it as node `index`; a record id already held is dropped.
UpdateConfigStatus AddUpdateConfigRecord(const uint8_t* stored, uint32_t index, cLinkList* chain);

// All steps over a whole file held in memory. On success `chain` receives the records; on failure
// it is left as it was.
UpdateConfigStatus ParseUpdateConfig(const uint8_t* data, size_t size, cLinkList* chain);

// The failure's message, placeholders filled in, without the reader's name or a line end.
std::string UpdateConfigMessage(const UpdateConfigStatus& status);

}  // namespace mivra

#endif  // MIVRA_UPDATE_MANIFEST_UPDATE_CONFIG_PARSER_H_
