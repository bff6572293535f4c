// PackageCutter: whole packages cut off the front of a growing stream, as the
// client end frames them. The built-in client answers what it cuts and skips
// bytes that frame nothing; qvctx-client's replay cuts recordings and the
// host's live stream and stops at such bytes.
#ifndef QVCTX_SIM_STREAM_PACKAGE_CUTTER_H_
#define QVCTX_SIM_STREAM_PACKAGE_CUTTER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wfsim/stream/byte_queue.h"
#include "wfsim/stream/package_format.h"

namespace wfsim {

// Not thread-safe.
class PackageCutter {
 public:
  // What the front of the held bytes is.
  enum class Front {
    kWhole,       // a whole package, header->datasize bytes at front()
    kIncomplete,  // a header, or a package, not all here yet
    kUnframed,    // bytes that begin no package (FramesPackage says no)
  };

  // Throws std::bad_alloc; nothing changes then.
  void Append(const std::uint8_t* data, std::size_t size) {
    bytes_.Append(data, size);
  }
  // What the front is; the header's fields into `*header` once 34 bytes are
  // here.
  Front Look(HeaderFields* header) const;
  // The first held byte; valid until the next change.
  const std::uint8_t* front() const { return bytes_.front(); }
  // Removes `count` bytes (at most size()) from the front: a package taken.
  void Drop(std::size_t count) {
    bytes_.Drop(count);
    offset_ += count;
  }
  // Removes unframed bytes from the front as far as the next place where a
  // header could begin, but never into the last 33 held bytes (those wait for
  // more, as they would one skip at a time); the count removed.
  std::size_t SkipUnframed();
  // The whole package at the front copied into `*package` and removed; false
  // when there is none (Look() tells why).
  bool Next(std::vector<std::uint8_t>* package);
  // Drops every held byte; the offset stays.
  void Clear() { bytes_.Clear(); }

  std::size_t size() const { return bytes_.size(); }
  // The offset of the front in the whole stream.
  std::uint64_t offset() const { return offset_; }

 private:
  ByteQueue bytes_;
  std::uint64_t offset_ = 0;
};

}  // namespace wfsim

#endif  // QVCTX_SIM_STREAM_PACKAGE_CUTTER_H_
