#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>
#include <string>

#include "socket_address.h"
#include "wfsim/net/tcp_socket.h"

namespace wfsim {

namespace {

// The one error translator: what failed and Winsock's error code.
std::string SocketError(const char* what) {
  return std::string(what) + ": Winsock error " +
         std::to_string(WSAGetLastError());
}

// Winsock starts once per process and stays up: the reader thread of the
// library may still use a stream while the process ends.
bool StartWinsock(std::string* error) {
  static std::once_flag once;
  static int result = 0;
  std::call_once(once, [] {
    WSADATA data;
    result = WSAStartup(MAKEWORD(2, 2), &data);
  });
  if (result != 0) *error = "WSAStartup failed: " + std::to_string(result);
  return result == 0;
}

SOCKET Handle(std::uintptr_t socket) { return static_cast<SOCKET>(socket); }

// Small packages go out at once instead of waiting for more bytes.
void SetNoDelay(SOCKET s) {
  const BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
             sizeof(on));
}

int WaitFor(SOCKET s, std::uint32_t timeout_ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval wait{static_cast<long>(timeout_ms / 1000),
               static_cast<long>((timeout_ms % 1000) * 1000)};
  const int ready = select(0, &readable, nullptr, nullptr, &wait);
  if (ready == SOCKET_ERROR) return -1;
  return ready > 0 ? 1 : 0;
}

}  // namespace

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& address,
                                              std::string* error) {
  sockaddr_in peer{};
  if (!StartWinsock(error) || !MakeAddress(address, &peer, error)) {
    return nullptr;
  }
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    *error = SocketError("socket");
    return nullptr;
  }
  if (connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) != 0) {
    *error = SocketError("connect");
    closesocket(s);
    return nullptr;
  }
  SetNoDelay(s);
  return std::unique_ptr<TcpStream>(
      new TcpStream(static_cast<std::uintptr_t>(s)));
}

TcpStream::~TcpStream() { closesocket(Handle(socket_)); }

bool TcpStream::SendAll(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
    const int sent =
        send(Handle(socket_), reinterpret_cast<const char*>(data), chunk, 0);
    if (sent == SOCKET_ERROR) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

int TcpStream::WaitReadable(std::uint32_t timeout_ms) {
  return WaitFor(Handle(socket_), timeout_ms);
}

long long TcpStream::Receive(std::uint8_t* out, std::size_t capacity) {
  const int chunk =
      capacity > 0x40000000u ? 0x40000000 : static_cast<int>(capacity);
  const int got = recv(Handle(socket_), reinterpret_cast<char*>(out), chunk, 0);
  return got == SOCKET_ERROR ? -1 : got;
}

void TcpStream::Shutdown() { shutdown(Handle(socket_), SD_BOTH); }

std::unique_ptr<TcpListener> TcpListener::Listen(const std::string& address,
                                                 std::string* error) {
  sockaddr_in local{};
  if (!StartWinsock(error) || !MakeAddress(address, &local, error)) {
    return nullptr;
  }
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    *error = SocketError("socket");
    return nullptr;
  }
  int length = sizeof(local);
  if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
      listen(s, 4) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    *error = SocketError("listen");
    closesocket(s);
    return nullptr;
  }
  return std::unique_ptr<TcpListener>(
      new TcpListener(static_cast<std::uintptr_t>(s), ntohs(local.sin_port)));
}

TcpListener::~TcpListener() { closesocket(Handle(socket_)); }

std::unique_ptr<TcpStream> TcpListener::Accept(std::uint32_t timeout_ms,
                                               std::string* error) {
  error->clear();
  const int ready = WaitFor(Handle(socket_), timeout_ms);
  if (ready <= 0) {
    if (ready < 0) *error = SocketError("select");
    return nullptr;
  }
  const SOCKET s = accept(Handle(socket_), nullptr, nullptr);
  if (s == INVALID_SOCKET) {
    *error = SocketError("accept");
    return nullptr;
  }
  SetNoDelay(s);
  return std::unique_ptr<TcpStream>(
      new TcpStream(static_cast<std::uintptr_t>(s)));
}

}  // namespace wfsim
