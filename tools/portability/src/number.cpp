#include "qvctx_port/number.h"

namespace qvctx_port {

namespace {

// The value of digit `c` in `base`, or -1.
int DigitValue(char c, unsigned base) {
  int digit = -1;
  if (c >= '0' && c <= '9') {
    digit = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    digit = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    digit = c - 'A' + 10;
  }
  return digit >= 0 && static_cast<unsigned>(digit) < base ? digit : -1;
}

}  // namespace

std::string ParseNumber(const char* option, const std::string& text,
                        std::uint64_t low, std::uint64_t high,
                        std::uint64_t* value) {
  const bool hex =
      text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const unsigned base = hex ? 16 : 10;
  const std::string not_a_number =
      std::string(option) + ": '" + text + "' is not a number";
  if (text.empty() || (!hex && text.size() > 1 && text[0] == '0')) {
    return not_a_number;
  }
  std::uint64_t number = 0;
  bool too_big = false;
  for (std::size_t i = hex ? 2 : 0; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) return not_a_number;
    // Read on past an overflow: junk behind the digits is the worse fault.
    too_big =
        too_big || number > (UINT64_MAX - static_cast<unsigned>(digit)) / base;
    number = number * base + static_cast<unsigned>(digit);
  }
  if (too_big || number < low || number > high) {
    return std::string(option) + ": " + text + " is out of range (" +
           std::to_string(low) + " to " + std::to_string(high) + ")";
  }
  *value = number;
  return std::string();
}

std::string ParseNumber(const char* option, const std::string& text,
                        std::uint32_t low, std::uint32_t high,
                        std::uint32_t* value) {
  std::uint64_t number = 0;
  std::string complaint = ParseNumber(option, text, std::uint64_t{low},
                                      std::uint64_t{high}, &number);
  if (complaint.empty()) *value = static_cast<std::uint32_t>(number);
  return complaint;
}

}  // namespace qvctx_port
