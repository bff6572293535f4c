// qvctx-dump's decoder on arbitrary recordings cut into arbitrary pieces: it
// must never fault, its records must cover the stream exactly once and in
// order, and the pieces must not change what it reports. Every record also
// goes through the printer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "record_printer.h"
#include "stream_decoder.h"

namespace {

using qvdump::Direction;
using qvdump::Record;
using qvdump::StreamDecoder;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Decodes `data`, fed in the pieces `cuts` gives (one byte each, cycled;
// 0 means the rest at once).
std::vector<Record> Decode(Direction direction, const std::uint8_t* data,
                           std::size_t size, const std::uint8_t* cuts,
                           std::size_t cut_count) {
  StreamDecoder decoder(direction);
  std::vector<Record> records;
  std::size_t at = 0;
  std::size_t k = 0;
  while (at < size) {
    std::size_t piece = size - at;
    if (cut_count != 0) {
      const std::size_t cut = cuts[k++ % cut_count];
      if (cut != 0 && cut < piece) piece = cut;
    }
    decoder.Feed(data + at, piece);
    at += piece;
    for (Record& record : decoder.TakeRecords()) {
      records.push_back(std::move(record));
    }
  }
  decoder.Finish();
  for (Record& record : decoder.TakeRecords()) {
    records.push_back(std::move(record));
  }
  Check(decoder.summary().bytes == size);
  return records;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 2) return 0;
  const Direction direction = (data[0] & 1) != 0 ? Direction::kClientToServer
                                                 : Direction::kServerToClient;
  const std::size_t cut_count = data[1] % 8;
  if (size < 2 + cut_count) return 0;
  const std::uint8_t* const cuts = data + 2;
  const std::uint8_t* const stream = data + 2 + cut_count;
  const std::size_t stream_size = size - 2 - cut_count;

  const std::vector<Record> whole =
      Decode(direction, stream, stream_size, nullptr, 0);
  const std::vector<Record> pieces =
      Decode(direction, stream, stream_size, cuts, cut_count);

  std::uint64_t next = 0;
  for (const Record& record : whole) {
    Check(record.offset == next);
    Check(record.length > 0);
    next += record.length;
  }
  Check(next == stream_size);

  Check(pieces.size() == whole.size());
  const qvdump::RecordPrinter printer(direction);
  for (std::size_t i = 0; i < whole.size() && i < pieces.size(); ++i) {
    Check(printer.Line(whole[i]) == printer.Line(pieces[i]));
  }
  return 0;
}
