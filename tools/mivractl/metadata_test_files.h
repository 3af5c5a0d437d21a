// Builders of bkmdata.dat and rbmdata.dat in memory for the inspection tests, with the library's
// layout code, so that tests can damage single bytes before writing them out.
#ifndef MIVRA_TOOLS_MIVRACTL_METADATA_TEST_FILES_H_
#define MIVRA_TOOLS_MIVRACTL_METADATA_TEST_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "update/backup/bk_record_layout.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra_test {

// A record of a file with `content` (size and MD5 taken from it) and a fixed time.
mivra::BkMdataRecord BkRecord(const std::u16string& name, const std::string& content, uint32_t flags = 0);
mivra::RbMdataRecord RbRecord(const std::u16string& name, const std::string& content);

// Whole files: header, state block (record count = records given) and the scrambled records,
// with the CRC of the record area in the header.
std::string BuildBkMdata(const std::vector<mivra::BkMdataRecord>& records, uint32_t stateFlags = 0);
std::string BuildRbMdata(const std::vector<mivra::RbMdataRecord>& records, uint8_t updateStatus = 0,
                         uint32_t rollbackCount = 0);

// Writes `count` into the state block's record count, which the CRC does not cover.
void SetStateRecordCount(std::string* file, const mivra::MetadataFormat& format, uint32_t count);

// The MD5 of `content` in lower-case hexadecimal.
std::string Md5Hex(const std::string& content);

}  // namespace mivra_test

#endif  // MIVRA_TOOLS_MIVRACTL_METADATA_TEST_FILES_H_
