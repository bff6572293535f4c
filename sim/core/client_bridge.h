// ClientBridge: the client end of the channel carried to a client process
// over a loopback TCP connection.
#ifndef QVCTX_SIM_CORE_CLIENT_BRIDGE_H_
#define QVCTX_SIM_CORE_CLIENT_BRIDGE_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "wfsim/net/tcp_socket.h"
#include "wfsim/recording/stream_recorder.h"

namespace wfsim {

// The bytes on the connection are exactly the channel's stream, no framing
// of its own: what the server writes goes out as it is written, and what the
// client sends is handed on in the pieces the socket delivers, so the server
// sees real socket timing. A thread of the bridge's own receives.
class ClientBridge {
 public:
  // Called on the bridge's thread with each piece received.
  using BytesSink = std::function<void(const ClientBridge*, const std::uint8_t*,
                                       std::size_t)>;
  // Called on the bridge's thread once, when the connection has ended.
  using EndSink = std::function<void(const ClientBridge*)>;

  // Starts receiving at once.
  ClientBridge(std::unique_ptr<TcpStream> stream, BytesSink on_bytes,
               EndSink on_end);
  // Ends the connection and waits for the thread. Never run it on the
  // bridge's thread nor while holding a lock the sinks take.
  ~ClientBridge();
  ClientBridge(const ClientBridge&) = delete;
  ClientBridge& operator=(const ClientBridge&) = delete;

  // Sends all bytes in one piece (concurrent senders never interleave) and
  // records them in the order they go out. False when the connection has
  // ended.
  bool Send(const std::uint8_t* data, std::size_t size,
            StreamRecorder* recorder);
  bool connected() const { return connected_.load(); }

 private:
  void ReceiveLoop();

  std::unique_ptr<TcpStream> stream_;
  BytesSink on_bytes_;
  EndSink on_end_;
  std::mutex send_mutex_;              // one sender at a time
  std::atomic<bool> stop_{false};      // the destructor asks the thread out
  std::atomic<bool> connected_{true};  // false once either side ended
  std::thread thread_;
};

}  // namespace wfsim

#endif  // QVCTX_SIM_CORE_CLIENT_BRIDGE_H_
