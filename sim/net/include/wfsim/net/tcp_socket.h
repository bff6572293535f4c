// TcpStream and TcpListener: the loopback connection between the simulator's
// channel and a client process. tcp_socket_posix.cpp and
// tcp_socket_windows.cpp implement them over BSD sockets and Winsock; the
// build compiles exactly one.
#ifndef QVCTX_SIM_NET_TCP_SOCKET_H_
#define QVCTX_SIM_NET_TCP_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace wfsim {

// "A.B.C.D:PORT" (IPv4, numeric, port 0 to 65535) into its parts, the
// address in host order. False for anything else.
bool ParseTcpAddress(const std::string& text, std::uint32_t* address,
                     std::uint16_t* port);

// A connected stream socket, closed by the destructor. Send and Receive may
// run at the same time on two threads; two senders need a lock of their own.
class TcpStream {
 public:
  // Connects to `address` ("127.0.0.1:PORT"). Null with `error` set on
  // failure.
  static std::unique_ptr<TcpStream> Connect(const std::string& address,
                                            std::string* error);
  ~TcpStream();
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  // Sends every byte; false when the connection failed first.
  bool SendAll(const std::uint8_t* data, std::size_t size);
  // Waits up to `timeout_ms` for bytes (or the end) to arrive: 1 when a
  // Receive will not block, 0 on time-out, -1 on failure.
  int WaitReadable(std::uint32_t timeout_ms);
  // Blocks until bytes arrive: their count, 0 at the peer's orderly end, -1
  // on failure.
  long long Receive(std::uint8_t* out, std::size_t capacity);
  // Ends both directions at once; the peer sees the end of the stream.
  void Shutdown();

 private:
  friend class TcpListener;
  explicit TcpStream(std::uintptr_t socket) : socket_(socket) {}

  std::uintptr_t socket_;  // SOCKET on Windows, the descriptor elsewhere
};

// A listening socket, closed by the destructor.
class TcpListener {
 public:
  // Listens on `address` ("127.0.0.1:PORT"; port 0 picks a free one).
  static std::unique_ptr<TcpListener> Listen(const std::string& address,
                                             std::string* error);
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // The port it listens on (the one picked when asked for 0).
  std::uint16_t port() const { return port_; }
  // Waits up to `timeout_ms` for a connection: the stream, or null on
  // time-out (`error` empty) or failure (`error` set).
  std::unique_ptr<TcpStream> Accept(std::uint32_t timeout_ms,
                                    std::string* error);

 private:
  TcpListener(std::uintptr_t socket, std::uint16_t port)
      : socket_(socket), port_(port) {}

  std::uintptr_t socket_;
  std::uint16_t port_;
};

}  // namespace wfsim

#endif  // QVCTX_SIM_NET_TCP_SOCKET_H_
