// How the sample host lays out its packages and checks the answers: the
// messageIDs of calls, bulk transfer and events, the time stamps and the
// payload pattern both ends know. The header layout is the wire format's
// (protocol/wire_format.h).
#ifndef QVCTX_TOOLS_HOST_DEMO_PACKAGE_H_
#define QVCTX_TOOLS_HOST_DEMO_PACKAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qvctx_host {

// Slot `index` (calls 0..n-1, then the bulk transfer) as a messageID: the
// slot number above the function byte, never 0. Calls cycle through function
// ids 1 to 16; the bulk transfer has its own.
std::uint32_t SlotMessageId(std::uint32_t index, bool bulk);
// The slot a messageID names; meaningful only after SlotMessageId matched.
std::uint32_t SlotOfMessageId(std::uint32_t message_id);

// The k-th (0..3) time stamp of a package, a function of its messageID, so
// the answer's stamps can be checked without keeping them.
std::uint32_t TimeStamp(std::uint32_t message_id, int k);

// A far-function call of `size` bytes into `package`: messageID, time stamps
// and the payload pattern; the rest of the header stays 0 for the library to
// stamp.
void LayOutCall(std::uint32_t message_id, std::uint32_t size,
                std::vector<std::uint8_t>* package);

// A bulk transfer of `size` bytes laid out by the host in full: FNCTyp 0, the
// magic, messageID, datasize and ulLength2 = size, usReserved 0, time stamps
// and the payload pattern.
void LayOutBulk(std::uint32_t message_id, std::uint32_t size,
                std::vector<std::uint8_t>* package);

// What is wrong with an answer to the package `message_id` of
// `expected_size` bytes; empty when it is intact: FNCTyp 2, the magic, the
// same messageID, datasize = ulLength2 = its length = the size sent, the same
// time stamps and every payload byte by the pattern.
std::string AnswerProblem(const std::uint8_t* package, std::uint32_t length,
                          std::uint32_t message_id,
                          std::uint32_t expected_size);

// The messageID and payload of the k-th client event the host asks the
// built-in client to send.
std::uint32_t EventMessageId(std::uint32_t k);
std::string EventPayload(std::uint32_t k);

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_DEMO_PACKAGE_H_
