// One way to read a number from a command line, for every tool: whole,
// unsigned, decimal or "0x" hexadecimal, and nothing else.
#ifndef QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_NUMBER_H_
#define QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_NUMBER_H_

#include <cstdint>
#include <string>

namespace qvctx_port {

// Reads `text`, the value of `option`, as a number from `low` to `high`:
// decimal digits, or "0x" (or "0X") and hexadecimal digits. Refused: an
// empty text, blanks, a sign, a leading 0 before more digits (it would read
// as octal elsewhere), anything after the digits. Returns an empty string
// with `*value` set, or the complaint naming the option, e.g.
// "--id: '010x' is not a number" or "--type: 4 is out of range (0 to 3)".
std::string ParseNumber(const char* option, const std::string& text,
                        std::uint64_t low, std::uint64_t high,
                        std::uint64_t* value);

// The same for a 32-bit field.
std::string ParseNumber(const char* option, const std::string& text,
                        std::uint32_t low, std::uint32_t high,
                        std::uint32_t* value);

}  // namespace qvctx_port

#endif  // QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_NUMBER_H_
