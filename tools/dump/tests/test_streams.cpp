#include "test_streams.h"

#include <cstring>

#include "wfsim/stream/package_format.h"

namespace qvdump_test {

namespace {

using Bytes = std::vector<std::uint8_t>;

// A whole package whose payload counts up from `first`.
Bytes Package(std::uint16_t fnc_typ, std::uint32_t message_id,
              std::uint32_t payload_length, std::uint8_t first = 0,
              const std::uint8_t* stamps = nullptr) {
  Bytes payload(payload_length);
  for (std::uint32_t i = 0; i < payload_length; ++i) {
    payload[i] = static_cast<std::uint8_t>(first + i);
  }
  return wfsim::BuildPackage(fnc_typ, message_id, stamps, payload.data(),
                             payload_length);
}

// A lone header that claims `datasize`.
Bytes HeaderClaiming(std::uint16_t fnc_typ, std::uint32_t message_id,
                     std::uint32_t datasize) {
  Bytes header = Package(fnc_typ, message_id, 0);
  for (int i = 0; i < 4; ++i) {
    header[8 + i] = static_cast<std::uint8_t>(datasize >> (8 * i));
  }
  return header;
}

void Append(Bytes* stream, const Bytes& bytes, std::size_t count) {
  stream->insert(stream->end(), bytes.begin(),
                 bytes.begin() + static_cast<std::ptrdiff_t>(count));
}

void Append(Bytes* stream, const Bytes& bytes) {
  Append(stream, bytes, bytes.size());
}

Bytes Stamps(std::uint32_t a, std::uint32_t b, std::uint32_t c,
             std::uint32_t d) {
  Bytes stamps(16);
  const std::uint32_t values[] = {a, b, c, d};
  for (int v = 0; v < 4; ++v) {
    for (int i = 0; i < 4; ++i) {
      stamps[4 * v + i] = static_cast<std::uint8_t>(values[v] >> (8 * i));
    }
  }
  return stamps;
}

}  // namespace

std::vector<std::uint8_t> ClientStream() {
  Bytes stream;
  const Bytes stamps = Stamps(7, 8, 9, 10);
  Append(&stream, Package(qvctx::kEventType, 298, 20, 0, stamps.data()));
  const char hello[] = "hello";
  Append(&stream,
         wfsim::BuildPackage(qvctx::kResultType, 1281, nullptr,
                             reinterpret_cast<const std::uint8_t*>(hello), 5));
  const char garbage[] = "GARBAGE!!!";
  stream.insert(stream.end(), garbage, garbage + std::strlen(garbage));
  Append(&stream, Package(qvctx::kHighestFncTyp, 515, 4, 0x30));
  Append(&stream, HeaderClaiming(qvctx::kEventType, 7, 0));
  Append(&stream, HeaderClaiming(qvctx::kResultType, 8, 20));
  Append(&stream, Package(qvctx::kFarFunctionType, 9, 0));
  Append(&stream, Package(qvctx::kEventType, 0, 2, 0x50));
  Append(&stream, Package(qvctx::kEventType, 65535, 40, 0xA0));
  Append(&stream, HeaderClaiming(qvctx::kEventType, 10,
                                 qvctx::kShiftBufferCapacity + 1));
  Append(&stream, Package(qvctx::kEventType, 11, 100, 0x10), 50);
  return stream;
}

std::vector<std::uint8_t> ServerStream() {
  Bytes stream;
  const Bytes stamps = Stamps(1, 2, 3, 4);
  const char abc[] = "abc";
  Append(&stream,
         wfsim::BuildPackage(qvctx::kFarFunctionType, 261, stamps.data(),
                             reinterpret_cast<const std::uint8_t*>(abc), 3));
  Append(&stream, Package(qvctx::kFarFunctionType, 0, 0));
  stream.insert(stream.end(), 5, 0xFF);
  Append(&stream, Package(qvctx::kResultType, 6, 1, 0x77));
  Append(&stream, HeaderClaiming(qvctx::kFarFunctionType, 12, 10));
  Append(&stream, Package(qvctx::kFarFunctionType, 13, 2, 0x41));
  Append(&stream, Package(qvctx::kFarFunctionType, 14, 10), 20);
  return stream;
}

}  // namespace qvdump_test
