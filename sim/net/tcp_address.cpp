#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstdlib>
#include <cstring>
#include <string>

#include "socket_address.h"
#include "wfsim/net/tcp_socket.h"

namespace wfsim {

namespace {

// A decimal number of at most `max`, the whole of `text`.
bool ParseNumber(const std::string& text, unsigned long max,
                 unsigned long* value) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *value = std::strtoul(text.c_str(), nullptr, 10);
  return *value <= max;
}

}  // namespace

bool ParseTcpAddress(const std::string& text, std::uint32_t* address,
                     std::uint16_t* port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  unsigned long port_value = 0;
  if (!ParseNumber(text.substr(colon + 1), 65535, &port_value)) return false;
  std::uint32_t value = 0;
  std::size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t dot = part < 3 ? text.find('.', start) : colon;
    if (dot == std::string::npos || dot > colon) return false;
    unsigned long octet = 0;
    if (!ParseNumber(text.substr(start, dot - start), 255, &octet)) {
      return false;
    }
    value = (value << 8) | static_cast<std::uint32_t>(octet);
    start = dot + 1;
  }
  *address = value;
  *port = static_cast<std::uint16_t>(port_value);
  return true;
}

bool MakeAddress(const std::string& text, sockaddr_in* out,
                 std::string* error) {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  if (!ParseTcpAddress(text, &address, &port)) {
    *error = "not an address of the form 127.0.0.1:PORT: " + text;
    return false;
  }
  std::memset(out, 0, sizeof(*out));
  out->sin_family = AF_INET;
  out->sin_addr.s_addr = htonl(address);
  out->sin_port = htons(port);
  return true;
}

}  // namespace wfsim
