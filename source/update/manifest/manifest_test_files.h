// Builders of well-formed updtconf.dat and component list files, for the tests and the fuzzing
// seeds. Byte strings, so that tests can damage single bytes before writing them out.
#ifndef MIVRA_UPDATE_MANIFEST_MANIFEST_TEST_FILES_H_
#define MIVRA_UPDATE_MANIFEST_MANIFEST_TEST_FILES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mivra_test {

void PutLe32(std::string* bytes, size_t offset, uint32_t value);
uint32_t GetLe32(const std::string& bytes, size_t offset);

inline const uint8_t* Bytes(const std::string& bytes) {
  return reinterpret_cast<const uint8_t*>(bytes.data());
}

// A decoded 540-byte configuration record with the given id and enabled field; the further
// fields are filled with a pattern derived from the id, so that they show up in the checksum.
std::string ConfigRecord(uint32_t recordId, uint32_t enabled);

// Header, nibble-swapped records and the checksum (CRC-32 register without final complement).
std::string BuildUpdateConfig(const std::vector<std::string>& plainRecords);

// Recomputes the checksum of a configuration file after its record area was changed.
void ResealUpdateConfig(std::string* file);

// A configuration file of one all-zero record (not encoded) whose header claims `checksum`.
std::string OneZeroRecord(uint32_t checksum);

struct ListEntry {
  uint32_t included;
  std::string name;        // without its NUL
  bool terminated = true;  // whether a NUL follows the name within its length
  uint32_t padding = 0;    // zero bytes counted in nameLength after the name
};

// Header (magic, versions, company, checksum, count) and the body rotated left by 3 bits.
std::string BuildComponentList(const std::vector<ListEntry>& entries);

// Recomputes the byte-sum checksum of a list after its body was changed.
void ResealComponentList(std::string* file);

}  // namespace mivra_test

#endif  // MIVRA_UPDATE_MANIFEST_MANIFEST_TEST_FILES_H_
