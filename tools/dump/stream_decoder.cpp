#include "stream_decoder.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "protocol/wire_format.h"

namespace qvdump {

namespace {

// The header test and the datasize need the first 12 header bytes.
constexpr std::size_t kTestedBytes = 12;

// Copies the header fields that lie wholly within the `count` bytes at
// `bytes` into `record`.
void ReadFields(const std::uint8_t* bytes, std::size_t count, Record* record) {
  record->header_bytes = std::min<std::size_t>(count, qvctx::kPackageHeadSize);
  if (count >= qvctx::kFncTypOffset + 2) {
    record->fnc_typ = qvctx::LoadLe16(bytes + qvctx::kFncTypOffset);
  }
  if (count >= qvctx::kMagicOffset + 2) {
    record->magic = qvctx::LoadLe16(bytes + qvctx::kMagicOffset);
  }
  if (count >= qvctx::kMessageIdOffset + 4) {
    record->message_id = qvctx::LoadLe32(bytes + qvctx::kMessageIdOffset);
  }
  if (count >= qvctx::kDatasizeOffset + 4) {
    record->datasize = qvctx::LoadLe32(bytes + qvctx::kDatasizeOffset);
  }
  if (count >= qvctx::kTimeStampsOffset + 4) {
    record->first_stamp = qvctx::LoadLe32(bytes + qvctx::kTimeStampsOffset);
  }
}

// The largest datasize the receiving end of `direction` can complete.
std::uint32_t LargestPackage(Direction direction) {
  return direction == Direction::kClientToServer ? qvctx::kReaderLargestPackage
                                                 : qvctx::kShiftBufferCapacity;
}

bool UsableDatasize(Direction direction, std::uint32_t datasize) {
  return datasize >= qvctx::kPackageHeadSize &&
         datasize <= LargestPackage(direction);
}

}  // namespace

void StreamDecoder::Feed(const std::uint8_t* data, std::size_t size) {
  if (finished_) throw std::logic_error("StreamDecoder: fed after Finish");
  if (size == 0) return;
  summary_.bytes += size;
  pending_.insert(pending_.end(), data, data + size);
  DropUsed(Process(false));
}

void StreamDecoder::Finish() {
  if (finished_) return;
  finished_ = true;
  DropUsed(Process(true));
  if (mode_ == Mode::kBody) {
    // Cut off in the payload: the receiver waits for the rest for ever.
    current_.flag = Flag::kIncomplete;
    current_.expected = current_.datasize;
    Emit(std::move(current_));
  } else if (mode_ == Mode::kScan) {
    EndRun();
  }
  mode_ = Mode::kFront;
}

void StreamDecoder::DropUsed(std::size_t used) {
  pending_.erase(pending_.begin(),
                 pending_.begin() + static_cast<std::ptrdiff_t>(used));
  pending_offset_ += used;
}

std::vector<Record> StreamDecoder::TakeRecords() {
  std::vector<Record> taken;
  taken.swap(records_);
  return taken;
}

std::size_t StreamDecoder::Process(bool at_end) {
  std::size_t pos = 0;
  for (;;) {
    const std::size_t available = pending_.size() - pos;
    const std::uint8_t* here = pending_.data() + pos;
    switch (mode_) {
      case Mode::kBody: {
        const auto take = static_cast<std::size_t>(
            std::min<std::uint64_t>(available, body_left_));
        const std::size_t room = kPreviewSize - current_.preview.size();
        current_.preview.insert(current_.preview.end(), here,
                                here + std::min(take, room));
        current_.length += take;
        body_left_ -= take;
        pos += take;
        if (body_left_ != 0) return pos;
        Emit(std::move(current_));
        mode_ = Mode::kFront;
        break;
      }
      case Mode::kFront:
        if (available == 0) return pos;
        if (available >= qvctx::kPackageHeadSize) {
          pos = DecideFront(pos);
        } else if (at_end) {
          pos = DecideCutFront(pos);
        } else {
          return pos;  // the reader decides nothing before a whole header
        }
        break;
      case Mode::kScan:
        // Nothing left, or too few bytes yet to test this offset.
        if (available == 0 || (available < kTestedBytes && !at_end)) {
          return pos;
        }
        if (MayBeginPackage(here, available, available >= kTestedBytes)) {
          EndRun();
          mode_ = Mode::kFront;
        } else {
          ExtendRun(*here);
          ++pos;
        }
        break;
    }
  }
}

std::size_t StreamDecoder::DecideFront(std::size_t pos) {
  const std::uint8_t* front = pending_.data() + pos;
  const std::uint64_t offset = pending_offset_ + pos;
  if (!MayBeginPackage(front, qvctx::kPackageHeadSize, false)) {
    StartRun(offset);
    ExtendRun(*front);
    mode_ = Mode::kScan;
    return pos + 1;
  }
  Record record;
  record.offset = offset;
  record.length = qvctx::kPackageHeadSize;
  ReadFields(front, qvctx::kPackageHeadSize, &record);
  if (!UsableDatasize(direction_, record.datasize)) {
    // The receiver cannot use the header: show it, and take the bytes
    // behind it for the next front.
    if (direction_ == Direction::kServerToClient) {
      record.flag = Flag::kUnframedDatasize;
    } else if (record.datasize > qvctx::kReaderLargestPackage) {
      record.flag = Flag::kNeverCompletes;
    } else {
      record.flag = Flag::kInvalidDatasize;
    }
    Emit(std::move(record));
    return pos + qvctx::kPackageHeadSize;
  }
  record.flag = PackageFlag(record);
  current_ = std::move(record);
  body_left_ = current_.datasize - qvctx::kPackageHeadSize;
  mode_ = Mode::kBody;
  return pos + qvctx::kPackageHeadSize;
}

std::size_t StreamDecoder::DecideCutFront(std::size_t pos) {
  const std::uint8_t* front = pending_.data() + pos;
  const std::size_t available = pending_.size() - pos;
  if (!MayBeginPackage(front, available, false)) {
    // Already plain that no header begins here.
    StartRun(pending_offset_ + pos);
    ExtendRun(*front);
    mode_ = Mode::kScan;
    return pos + 1;
  }
  Record record;
  record.offset = pending_offset_ + pos;
  record.length = available;
  ReadFields(front, available, &record);
  record.flag = Flag::kIncomplete;
  record.expected =
      available >= kTestedBytes && UsableDatasize(direction_, record.datasize)
          ? record.datasize
          : qvctx::kPackageHeadSize;
  Emit(std::move(record));
  return pos + available;
}

bool StreamDecoder::MayBeginPackage(const std::uint8_t* bytes,
                                    std::size_t count, bool whole) const {
  if (whole && count < kTestedBytes) return false;
  if (count >= qvctx::kPackageHeadSize) return MayBeginWithHeader(bytes, whole);
  // A cut-off front: FNCTyp and usMagic are judged byte by byte, so one that
  // already shows no header is not taken for one.
  if (bytes[0] > qvctx::kHighestFncTyp) return false;
  const std::uint8_t fixed[] = {
      0, static_cast<std::uint8_t>(qvctx::kPackageMagic & 0xFFu),
      static_cast<std::uint8_t>(qvctx::kPackageMagic >> 8)};
  for (std::size_t i = 1; i < 4 && i < count; ++i) {
    if (bytes[i] != fixed[i - 1]) return false;
  }
  Record fields;
  ReadFields(bytes, count, &fields);
  if (direction_ == Direction::kClientToServer && count >= 8 &&
      fields.message_id == 0) {
    return false;
  }
  if (count < kTestedBytes || UsableDatasize(direction_, fields.datasize))
    return true;
  // An unusable datasize at the front: the reader takes the bytes for a
  // header all the same.
  return !whole && direction_ == Direction::kClientToServer;
}

bool StreamDecoder::MayBeginWithHeader(const std::uint8_t* header,
                                       bool whole) const {
  const std::uint32_t datasize = qvctx::ReadDatasize(header);
  if (direction_ == Direction::kClientToServer) {
    // The reader's own header test; it takes a header whose datasize it
    // cannot use all the same.
    return qvctx::PassesHeaderTest(header) &&
           (!whole || UsableDatasize(direction_, datasize));
  }
  const std::uint16_t fnc_typ = qvctx::ReadFncTyp(header);
  const std::uint16_t magic = qvctx::ReadMagic(header);
  if (qvctx::ClientFramesPackage(fnc_typ, magic, datasize)) return true;
  // The client end's test failed on the datasize alone: the header is shown
  // before it is skipped.
  return !whole && magic == qvctx::kPackageMagic &&
         fnc_typ <= qvctx::kHighestFncTyp;
}

void StreamDecoder::StartRun(std::uint64_t offset) {
  current_ = Record();
  current_.kind = Record::Kind::kSkipped;
  current_.offset = offset;
  current_.flag = direction_ == Direction::kClientToServer
                      ? Flag::kRefusedNotHeader
                      : Flag::kUnframed;
}

void StreamDecoder::ExtendRun(std::uint8_t byte) {
  if (current_.preview.size() < kPreviewSize) current_.preview.push_back(byte);
  ++current_.length;
}

void StreamDecoder::EndRun() {
  if (current_.length == 0) return;
  summary_.skipped_bytes += current_.length;
  Emit(std::move(current_));
  current_ = Record();
}

void StreamDecoder::Emit(Record record) {
  if (record.kind == Record::Kind::kPackage) ++summary_.packages;
  if (record.flag != Flag::kNone) ++summary_.flagged;
  records_.push_back(std::move(record));
}

Flag StreamDecoder::PackageFlag(const Record& record) const {
  if (direction_ == Direction::kClientToServer) {
    return record.fnc_typ == qvctx::kEventType ||
                   record.fnc_typ == qvctx::kResultType
               ? Flag::kNone
               : Flag::kInvalidHeader;
  }
  if (record.fnc_typ != qvctx::kFarFunctionType) return Flag::kUnusualType;
  return record.message_id == 0 ? Flag::kNoAnswer : Flag::kNone;
}

}  // namespace qvdump
