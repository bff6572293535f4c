// The recorded streams the dump is tested on: each direction with normal
// packages and with every front the receiving end refuses or handles
// unusually. The tool test's expected output describes exactly these bytes.
#ifndef QVCTX_TOOLS_DUMP_TESTS_TEST_STREAMS_H_
#define QVCTX_TOOLS_DUMP_TESTS_TEST_STREAMS_H_

#include <cstdint>
#include <vector>

namespace qvdump_test {

// What the client sent (client>server), 437 bytes:
//   0    event, messageID 298, stamps 7 8 9 10, payload 0..19 (54 bytes)
//   54   result, messageID 1281, payload "hello" (39)
//   93   "GARBAGE!!!" (10)
//   103  type 3, messageID 515, payload 4 bytes (38)
//   141  event header, messageID 7, datasize 0 (34)
//   175  result header, messageID 8, datasize 20 (34)
//   209  call, messageID 9, no payload (34)
//   243  event with messageID 0, payload 2 bytes (36)
//   279  event, messageID 65535, payload 40 bytes 0xA0.. (74)
//   353  event header, messageID 10, datasize 10485761 (34)
//   387  event, messageID 11, payload 100 bytes, cut after 50 bytes
std::vector<std::uint8_t> ClientStream();

// What the server wrote (server>client), 201 bytes:
//   0    call, messageID 261, stamps 1 2 3 4, payload "abc" (37)
//   37   call, messageID 0, no payload (34)
//   71   5 bytes 0xFF (5)
//   76   result, messageID 6, payload 1 byte (35)
//   111  call header, messageID 12, datasize 10 (34)
//   145  call, messageID 13, payload 2 bytes (36)
//   181  call, messageID 14, payload 10 bytes, cut after 20 bytes
std::vector<std::uint8_t> ServerStream();

}  // namespace qvdump_test

#endif  // QVCTX_TOOLS_DUMP_TESTS_TEST_STREAMS_H_
