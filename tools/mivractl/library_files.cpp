#include "library_files.h"

#include <algorithm>
#include <string>

#include "text_format.h"

namespace mivra::ctl {
namespace {

// What the next open does with the journal beside `file`, and with the file's bytes.
JournalFinding PutBackJournal(const std::filesystem::path& filePath, MetadataFile* file) {
  JournalFinding journal;
  journal.path = std::filesystem::path(JournalPathOf(filePath.wstring()));
  std::vector<uint8_t> bytes;
  switch (ReadWholeFile(journal.path, &bytes)) {
    case FileRead::kMissing: return journal;
    case FileRead::kUnreadable:
      journal.state = JournalState::kUnreadable;
      return journal;
    case FileRead::kOk: break;
  }
  // An emptied journal holds no change: the rollback database keeps one so between its changes.
  if (bytes.size() >= kJournalMagicSize &&
      std::all_of(bytes.begin(), bytes.begin() + kJournalMagicSize, [](uint8_t b) { return b == 0; })) {
    return journal;
  }
  journal.sizeOnDisk = bytes.size();
  JournalImage image;
  if (!DecodeJournal(bytes.data(), bytes.size(), &image)) {
    journal.state = JournalState::kIncomplete;
    return journal;
  }
  journal.state = JournalState::kComplete;
  journal.oldLength = image.oldLength;
  journal.ranges = image.ranges.size();
  for (const SavedBytes& range : image.ranges) journal.savedBytes += range.bytes.size();
  if (image.oldLength != kJournalFileAbsent && file->read == FileRead::kMissing) {
    journal.fileGone = true;
    return journal;
  }
  if (file->read != FileRead::kOk && image.oldLength != kJournalFileAbsent) return journal;
  std::vector<uint8_t> putBack = file->bytes;
  journal.effect = ApplyJournalToBytes(image, &putBack);
  switch (journal.effect) {
    case JournalEffect::kRestored: file->bytes = std::move(putBack); break;
    case JournalEffect::kRemoved:
      file->bytes.clear();
      file->read = FileRead::kMissing;
      break;
    case JournalEffect::kFailed: break;
  }
  return journal;
}

std::string Recovery(const JournalFinding& journal) {
  switch (journal.state) {
    case JournalState::kNone:
      return std::string();
    case JournalState::kIncomplete:
      return "not complete (cut off while it was written, or already retired): the library's next open "
             "deletes it and takes the file as it is";
    case JournalState::kUnreadable:
      return "it cannot be read: a change may be under way in another process, and the library's opens fail "
             "until it ends";
    case JournalState::kComplete:
      break;
  }
  if (journal.fileGone) return "the file it belongs to is gone: the library's next open deletes the journal";
  switch (journal.effect) {
    case JournalEffect::kRestored:
      return "a change was cut off with its writer: the library's next open puts back " +
             CountOf(journal.savedBytes, "saved byte", "saved bytes") + " in " +
             CountOf(journal.ranges, "range", "ranges") + " and sets the length to " +
             std::to_string(journal.oldLength) + "; the file is shown so";
    case JournalEffect::kRemoved:
      return "the change that created the file was cut off: the library's next open deletes the file and "
             "starts a new one";
    case JournalEffect::kFailed:
      return "a change was cut off with its writer, but putting it back would make the file larger than 2 GiB; "
             "the file is shown as it is";
  }
  return std::string();
}

const char* StateWord(JournalState state) {
  switch (state) {
    case JournalState::kNone: return "none";
    case JournalState::kComplete: return "complete";
    case JournalState::kIncomplete: return "incomplete";
    case JournalState::kUnreadable: return "unreadable";
  }
  return "none";
}

}  // namespace

MetadataFile ReadMetadataFile(const std::filesystem::path& path, const MetadataFormat& format) {
  MetadataFile file;
  file.read = ReadWholeFile(path, &file.bytes);
  file.sizeOnDisk = file.present() ? file.bytes.size() : 0;
  file.journal = PutBackJournal(path, &file);
  if (file.present()) file.verdict = ExamineMetadataFile(format, file.bytes.data(), file.bytes.size());
  if (file.present() && file.verdict.unfinishedAppend) {
    const size_t counted = static_cast<size_t>(format.recordOffset(file.verdict.recordCount));
    file.unfinishedAppend = file.bytes.size() - counted;
    file.bytes.resize(counted);
    file.verdict = ExamineMetadataFile(format, file.bytes.data(), file.bytes.size());
  }
  return file;
}

Report UnfinishedAppendReport(const MetadataFile& file) {
  return Report::Text("an append was cut off before its commit point: the library's next open cuts off the " +
                      CountOf(file.unfinishedAppend, "byte", "bytes") + " past the " +
                      CountOf(file.verdict.recordCount, "record", "records") + " the count names; the file is shown so");
}

Report JournalReport(const JournalFinding& journal) {
  if (journal.state == JournalState::kNone) return Report::Null("none");
  Report report = Report::Object();
  report.Set("file", Report::Text(PathToUtf8(journal.path)));
  report.Set("state", Report::Text(StateWord(journal.state)));
  report.Set("recovery", Report::Text(Recovery(journal)));
  return report;
}

}  // namespace mivra::ctl
