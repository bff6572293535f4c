#include "transport/package_receiver.h"

#include <exception>

#include "protocol/wire_format.h"
#include "transport/messages.h"

namespace qvctx {

void CPackageReceiver::Append(const char* piece, std::int32_t count) {
  buffer_.AppendData(piece, count);
}

char* CPackageReceiver::RoomForPiece() {
  return reinterpret_cast<char*>(
      buffer_.RoomFor(static_cast<std::int32_t>(kChannelReadSize)));
}

void CPackageReceiver::PieceRead(std::uint32_t count) {
  buffer_.Added(count < kChannelReadSize ? count : kChannelReadSize);
}

bool CPackageReceiver::Front(PackageView* package) {
  // Below a whole header the front may still hold bytes of the previous
  // package, left behind by a short shift: wait for more.
  const std::uint32_t buffered = buffer_.Position();
  if (buffered < kPackageHeadSize) return false;
  if (!front_read_ || buffer_.FrontChanges() != front_changes_) {
    // Taken before the read: a bad datasize empties the buffer, which
    // changes the count again, so the next front is read afresh.
    front_changes_ = buffer_.FrontChanges();
    front_read_ = true;
    front_passed_ = ReadFront();
  }
  if (!front_passed_ || !IsComplete(buffered, front_.size)) return false;
  *package = front_;
  // The bytes may have moved to the start of the block since the header was
  // read; they are the same bytes.
  package->bytes = buffer_.GetData();
  return true;
}

bool CPackageReceiver::ReadFront() {
  const std::uint8_t* front = buffer_.GetData();
  if (!PassesHeaderTest(front)) return false;
  const std::uint32_t datasize = ReadDatasize(front);
  if (datasize < kPackageHeadSize) {
    try {
      log_.LogError(kInvalidDatasizeFormat,
                    static_cast<unsigned int>(datasize));
    } catch (const std::exception&) {
      // the line is lost; the buffer is emptied all the same
    }
    buffer_.ClearData();
    return false;
  }
  front_ =
      PackageView{front, datasize, ReadFncTyp(front), ReadMessageId(front)};
  return true;
}

void CPackageReceiver::Consume(const PackageView& package) {
  buffer_.ShiftData(package.size);
}

}  // namespace qvctx
