// Listing: the packages of one or more recorded files in one list, ordered
// by the time their last byte went over the channel, with every far-function
// call paired with its answer.
#ifndef QVCTX_TOOLS_DUMP_TIMED_LISTING_H_
#define QVCTX_TOOLS_DUMP_TIMED_LISTING_H_

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "stream_record.h"

namespace qvdump {

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);

struct ListedRecord {
  Record record;
  Direction direction = Direction::kServerToClient;
  // Microseconds since the Unix epoch when the read or write that completed
  // the record returned; 0 for an untimed recording.
  std::uint64_t micros = 0;
  // A call: the index of its answer; an answer: the index of its call; -1
  // when there is none.
  std::ptrdiff_t partner = -1;
  // answer time less call time, 0 when the answer was stamped first (the
  // platform may hand the answer to the reader before the write that
  // carried the call returns).
  std::uint64_t latency_us = 0;
};

// Which records are printed; every record still takes part in the pairing.
struct ListingFilter {
  std::set<unsigned int> types;         // FNCTyp values; empty: all
  std::set<std::uint32_t> message_ids;  // empty: all
  bool Passes(const Record& record) const;
};

class Listing {
 public:
  // Decodes the file at `path` and adds its records. A timed file names its
  // own direction; `direction` holds for an untimed one. False (with
  // `error`) when the file cannot be read.
  bool AddFile(const std::string& path, Direction direction,
               std::string* error);
  // Orders the records by time (stream order within a direction) and pairs
  // calls with answers.
  void Finish();

  // One text line per record, the summary and the calls never answered.
  void PrintText(const ListingFilter& filter) const;
  // One JSON object per line: a package or skipped run, then a summary.
  void PrintJson(const ListingFilter& filter) const;

  // Everything that a --strict run fails on: decoder flags, calls never
  // answered, answers to no call, cut-off files.
  std::uint64_t problems() const;
  bool timed() const { return timed_; }

 private:
  std::vector<ListedRecord> records_;
  std::vector<std::string> files_;  // "path (direction, timed|untimed)"
  std::vector<std::string> cuts_;   // files whose last chunk is cut off
  Summary summary_[2];              // per direction
  bool timed_ = false;
  std::uint64_t unanswered_ = 0;
  std::uint64_t orphans_ = 0;  // answers to no call
};

}  // namespace qvdump

#endif  // QVCTX_TOOLS_DUMP_TIMED_LISTING_H_
