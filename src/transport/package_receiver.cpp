#include "transport/package_receiver.h"

#include <exception>

#include "diagnostics/log_file.h"
#include "platform/platform.h"
#include "protocol/wire_format.h"
#include "transport/messages.h"

namespace qvctx {

void CPackageReceiver::Append(const char* piece, std::int32_t count) {
  buffer_.AppendData(piece, count);
}

bool CPackageReceiver::Front(const std::uint8_t** package,
                             std::uint32_t* length) {
  // Below a whole header the front may still hold bytes of the previous
  // package, left behind by a short shift: wait for more.
  const std::uint32_t buffered = buffer_.Position();
  if (buffered < kPackageHeadSize) return false;
  // A front whose header passed and which waits for the rest of its bytes
  // is not read again until they are all there: appends only add behind it.
  if (buffered < front_datasize_ && buffer_.FrontChanges() == front_changes_) {
    return false;
  }

  const std::uint8_t* front = nullptr;
  bool header = false;
  std::uint32_t datasize = 0;
  {
    port::LockGuard guard(buffer_.BufferLock());
    front = buffer_.GetData();
    header = PassesHeaderTest(front);
    datasize = ReadDatasize(front);
  }
  if (!header) return false;
  if (datasize < kPackageHeadSize) {
    try {
      GetLogFile()->LogError(kInvalidDatasizeFormat,
                             static_cast<unsigned int>(datasize));
    } catch (const std::exception&) {
      // the line is lost; the buffer is emptied all the same
    }
    buffer_.ClearData();
    return false;
  }
  front_datasize_ = datasize;
  front_changes_ = buffer_.FrontChanges();
  if (!IsComplete(buffered, datasize)) return false;
  *package = front;
  *length = datasize;
  return true;
}

void CPackageReceiver::Consume() {
  port::LockGuard guard(buffer_.BufferLock());
  buffer_.ShiftData(ReadDatasize(buffer_.GetData()));
}

}  // namespace qvctx
