// The library's metadata files as the tool reads them: whole, read-only, judged with the record
// store's own checks, and shown as the library's next open will find them: a journal beside the
// file ("bkmdata.jnl" beside "bkmdata.dat") is put back in memory the way the library puts it back
// on disk (ApplyJournalToBytes). Portable: it reads copies sent in from a customer's machine too.
#ifndef MIVRA_TOOLS_MIVRACTL_LIBRARY_FILES_H_
#define MIVRA_TOOLS_MIVRACTL_LIBRARY_FILES_H_

#include <cstdint>
#include <filesystem>
#include <vector>

#include "file_bytes.h"
#include "report.h"
#include "update/store/journal_format.h"
#include "update/store/metadata_format.h"

namespace mivra::ctl {

enum class JournalState {
  kNone,        // no journal beside the file
  kComplete,    // a change was cut off with its writer: the next open puts it back
  kIncomplete,  // cut off while it was written, or already retired: the next open deletes it
  kUnreadable,  // there but unreadable, as while a live writer holds it: the library's opens fail
};

struct JournalFinding {
  JournalState state = JournalState::kNone;
  std::filesystem::path path;
  uint64_t sizeOnDisk = 0;
  // A complete journal: what putting it back does, and what it holds.
  JournalEffect effect = JournalEffect::kRestored;
  bool fileGone = false;  // the file it belongs to is missing: the next open only deletes the journal
  uint64_t oldLength = 0;
  size_t ranges = 0;
  uint64_t savedBytes = 0;
};

struct MetadataFile {
  FileRead read = FileRead::kMissing;  // of the file as the next open finds it
  std::vector<uint8_t> bytes;          // the same
  MetadataVerdict verdict;
  uint64_t sizeOnDisk = 0;             // of the file as it lies on disk
  JournalFinding journal;
  // The bytes past the records the count names that the next open cuts off: an append cut off
  // before its commit point (none when 0). `bytes` are shown without them.
  uint64_t unfinishedAppend = 0;

  bool present() const { return read == FileRead::kOk; }
  // The library opens the file (magic and CRC); a file it would delete counts as not there.
  bool accepted() const { return present() && verdict.valid(); }
};

MetadataFile ReadMetadataFile(const std::filesystem::path& path, const MetadataFormat& format);

// The journal's part of a report: its file, whether it is complete and what the library's next
// open does with it (a null "none" when there is no journal).
Report JournalReport(const JournalFinding& journal);

// What the next open does with an unfinished append (only for a file that has one).
Report UnfinishedAppendReport(const MetadataFile& file);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_LIBRARY_FILES_H_
