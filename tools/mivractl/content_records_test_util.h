// Records of files with given contents, and whole metadata files of them, for the inspection
// tests; the bytes come from the tests' own metadata file builder.
#ifndef MIVRA_TOOLS_MIVRACTL_CONTENT_RECORDS_TEST_UTIL_H_
#define MIVRA_TOOLS_MIVRACTL_CONTENT_RECORDS_TEST_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "support/metadata_file_bytes.h"

namespace mivra_test {

// A record of a file with `content` (size and MD5 taken from it) and a fixed time; an absent
// file's record carries only its name and flags.
MetadataRecord BkRecord(const std::wstring& name, const std::string& content, uint32_t flags = 0);
MetadataRecord RBRecord(const std::wstring& name, const std::string& content);

// Whole files holding `records` with a fixed creation time and the given state fields.
std::string BuildBkMdata(const std::vector<MetadataRecord>& records, uint32_t stateFlags = 0);
std::string BuildRBMdata(const std::vector<MetadataRecord>& records, uint8_t updateStatus = 0,
                         uint32_t rollbackCount = 0);

// The MD5 of `content` in lower-case hexadecimal.
std::string Md5Hex(const std::string& content);

}  // namespace mivra_test

#endif  // MIVRA_TOOLS_MIVRACTL_CONTENT_RECORDS_TEST_UTIL_H_
