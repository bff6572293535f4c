#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "socket_address.h"
#include "wfsim/net/tcp_socket.h"

namespace wfsim {

namespace {

// The one error translator: what failed and the system's text for errno.
std::string SocketError(const char* what) {
  return std::string(what) + ": " +
         std::error_code(errno, std::generic_category()).message();
}

int Descriptor(std::uintptr_t socket) { return static_cast<int>(socket); }

// Small packages go out at once instead of waiting for more bytes.
void SetNoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
}

int WaitFor(int fd, short events, std::uint32_t timeout_ms) {
  pollfd entry{fd, events, 0};
  for (;;) {
    const int ready = poll(&entry, 1, static_cast<int>(timeout_ms));
    if (ready >= 0) return ready > 0 ? 1 : 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& address,
                                              std::string* error) {
  sockaddr_in peer{};
  if (!MakeAddress(address, &peer, error)) return nullptr;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = SocketError("socket");
    return nullptr;
  }
  if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) !=
      0) {
    *error = SocketError("connect");
    close(fd);
    return nullptr;
  }
  SetNoDelay(fd);
  return std::unique_ptr<TcpStream>(
      new TcpStream(static_cast<std::uintptr_t>(fd)));
}

TcpStream::~TcpStream() { close(Descriptor(socket_)); }

bool TcpStream::SendAll(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = send(Descriptor(socket_), data, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

int TcpStream::WaitReadable(std::uint32_t timeout_ms) {
  return WaitFor(Descriptor(socket_), POLLIN, timeout_ms);
}

long long TcpStream::Receive(std::uint8_t* out, std::size_t capacity) {
  for (;;) {
    const ssize_t got = recv(Descriptor(socket_), out, capacity, 0);
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

void TcpStream::Shutdown() { shutdown(Descriptor(socket_), SHUT_RDWR); }

std::unique_ptr<TcpListener> TcpListener::Listen(const std::string& address,
                                                 std::string* error) {
  sockaddr_in local{};
  if (!MakeAddress(address, &local, error)) return nullptr;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = SocketError("socket");
    return nullptr;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  socklen_t length = sizeof(local);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
      listen(fd, 4) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    *error = SocketError("listen");
    close(fd);
    return nullptr;
  }
  return std::unique_ptr<TcpListener>(
      new TcpListener(static_cast<std::uintptr_t>(fd), ntohs(local.sin_port)));
}

TcpListener::~TcpListener() { close(Descriptor(socket_)); }

std::unique_ptr<TcpStream> TcpListener::Accept(std::uint32_t timeout_ms,
                                               std::string* error) {
  error->clear();
  const int ready = WaitFor(Descriptor(socket_), POLLIN, timeout_ms);
  if (ready <= 0) {
    if (ready < 0) *error = SocketError("poll");
    return nullptr;
  }
  const int fd = accept4(Descriptor(socket_), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    *error = SocketError("accept");
    return nullptr;
  }
  SetNoDelay(fd);
  return std::unique_ptr<TcpStream>(
      new TcpStream(static_cast<std::uintptr_t>(fd)));
}

}  // namespace wfsim
