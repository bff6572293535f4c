// BuiltInClient: the client end's behaviour when no test plays the client.
#ifndef QVCTX_SIM_CLIENT_BUILTIN_CLIENT_H_
#define QVCTX_SIM_CLIENT_BUILTIN_CLIENT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

#include "wfsim/stream/block_queue.h"
#include "wfsim/stream/byte_queue.h"
#include "wfsim/stream/package_cutter.h"

namespace wfsim {

// Reassembles the server's written stream into packages by the header's
// datasize, whatever the write boundaries, and answers each far-function call
// with a result package: same messageID, time stamps and payload. A call with
// messageID 0 gets no answer (the server's reader never accepts one), and
// packages of other types are consumed silently. Bytes at the front that
// cannot begin a package are skipped up to the next place where a header's
// magic is (or may yet arrive), so the stream falls into step again at the
// next header. Not thread-safe: the simulator's lock guards
// it.
class BuiltInClient {
 public:
  BuiltInClient() = default;
  BuiltInClient(const BuiltInClient&) = delete;
  BuiltInClient& operator=(const BuiltInClient&) = delete;

  // Called with every complete package, before it is answered; a client
  // process checks the calls it receives here.
  using PackageObserver =
      std::function<void(const std::uint8_t* package, std::uint32_t size)>;

  void SetObserver(PackageObserver observer) {
    observer_ = std::move(observer);
  }
  // Takes the bytes of one write; appends each answer, whole, to `answers`.
  // Throws std::bad_alloc.
  void Feed(const std::uint8_t* data, std::size_t size, BlockQueue* answers);
  void Feed(const std::uint8_t* data, std::size_t size, ByteQueue* answers);
  // Drops a package begun but not complete.
  void DropPartial() { pending_.Clear(); }
  void Clear();

  std::uint32_t answered() const { return answered_; }
  std::uint64_t unframed() const { return unframed_; }

 private:
  template <typename Answers>
  void FeedTo(const std::uint8_t* data, std::size_t size, Answers* answers);

  PackageCutter pending_;       // written bytes not yet a complete package
  std::uint32_t answered_ = 0;  // far-function calls answered
  std::uint64_t unframed_ = 0;  // bytes skipped: no header began there
  PackageObserver observer_;    // empty inside the simulator
};

}  // namespace wfsim

#endif  // QVCTX_SIM_CLIENT_BUILTIN_CLIENT_H_
