// Reads arbitrary INI files through the POSIX profile reader and checks every
// answer against a plain model of the reading rules that platform.h states
// and tests/profile_cases.h pins down: lines, sections, entries, blanks,
// case, first-wins, quotes, the cut to the buffer, and the numbers. Any
// difference aborts.
//
// The input: a byte that picks the buffer's size (0 to 40), a byte that picks
// the defaults, then the section's name up to a NUL, the key's name up to a
// NUL, and the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr char kIniPath[] = "C:\\qvctx-fuzz.ini";
// The number is read through a buffer of this size.
constexpr std::uint32_t kNumberBuffer = 30;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "profile reader mismatch: %s\n", what);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string Trimmed(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && Blank(text[first])) ++first;
  while (last > first && Blank(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

bool Same(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

struct Entry {
  std::string name;
  bool has_value;
  std::string value;
};

struct Section {
  std::string name;
  std::vector<Entry> entries;
};

// The whole file as sections, the nameless one first.
std::vector<Section> Parse(std::string_view file) {
  std::vector<Section> sections(1);
  std::size_t at = 0;
  bool first = true;
  while (at < file.size()) {
    std::size_t end = at;
    while (end < file.size() && file[end] != '\n' && file[end] != '\r') ++end;
    std::string_view line = file.substr(at, end - at);
    at = end;
    if (at < file.size()) {
      const char line_end = file[at++];
      if (line_end == '\r' && at < file.size() && file[at] == '\n') ++at;
    }
    const std::size_t nul = line.find('\0');
    if (nul != std::string_view::npos) line = line.substr(0, nul);
    if (first && line.size() >= 3 && line.substr(0, 3) == "\xEF\xBB\xBF") {
      line.remove_prefix(3);
    }
    first = false;
    const std::string text = Trimmed(line);
    if (text.empty() || text[0] == ';') continue;
    if (text[0] == '[') {
      const std::size_t close = text.rfind(']');
      if (close == std::string::npos) continue;
      sections.push_back(
          {Trimmed(std::string_view(text).substr(1, close - 1)), {}});
      continue;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
      sections.back().entries.push_back({Trimmed(text), false, ""});
    } else {
      sections.back().entries.push_back(
          {Trimmed(std::string_view(text).substr(0, equals)), true,
           Trimmed(std::string_view(text).substr(equals + 1))});
    }
  }
  return sections;
}

// The entry the reader must find, or null.
const Entry* Find(const std::vector<Section>& sections,
                  const std::string& section, const std::string& key) {
  for (const Section& candidate : sections) {
    if (!Same(candidate.name, Trimmed(section))) continue;
    for (const Entry& entry : candidate.entries) {
      if (Same(entry.name, Trimmed(key))) return &entry;
    }
    return nullptr;
  }
  return nullptr;
}

// What lands in a buffer of `size` bytes.
std::string Copied(std::string text, std::uint32_t size) {
  if (size == 0) return "";
  const bool quoted = text.size() >= 2 && (text[0] == '"' || text[0] == '\'') &&
                      text.back() == text[0];
  if (!quoted) return text.substr(0, size - 1);
  const std::string inside = text.substr(1, text.size() - 2);
  std::string out = inside.substr(0, size - 1);
  if (inside.size() == size - 1 && !out.empty()) out.pop_back();
  return out;
}

std::string ExpectedText(const Entry* entry, std::string fallback,
                         std::uint32_t size) {
  if (entry != nullptr && entry->has_value) return Copied(entry->value, size);
  while (fallback.size() > 1 && fallback.back() == ' ') fallback.pop_back();
  return Copied(fallback, size);
}

std::uint32_t ExpectedNumber(const std::string& text, std::int32_t fallback) {
  if (text.empty()) return static_cast<std::uint32_t>(fallback);
  std::size_t at = 0;
  while (at < text.size() && static_cast<unsigned char>(text[at]) >= 1 &&
         static_cast<unsigned char>(text[at]) <= 32) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  std::uint32_t base = 10;
  if (text.compare(at, 2, "0x") == 0) base = 16;
  if (text.compare(at, 2, "0o") == 0) base = 8;
  if (text.compare(at, 2, "0b") == 0) base = 2;
  if (base != 10) at += 2;
  std::uint64_t total = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    std::uint32_t digit = 99;
    if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'z') digit = static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'Z') digit = static_cast<std::uint32_t>(c - 'A' + 10);
    if (digit >= base) break;
    total = (total * base + digit) & 0xFFFFFFFFu;
  }
  const auto value = static_cast<std::uint32_t>(total);
  return negative ? 0U - value : value;
}

// Takes the bytes up to the next NUL; false when there is none.
bool TakeName(std::string_view& input, std::string& name) {
  const std::size_t nul = input.find('\0');
  if (nul == std::string_view::npos) return false;
  name.assign(input.substr(0, nul));
  input.remove_prefix(nul + 1);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // The file lives in a folder of its own, as drive C:, in memory where
  // there is /dev/shm (a disk's folder costs a tenth of the speed). Runs
  // before any other thread exists.
  const char* tmp = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe)
  std::string base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  if (std::FILE* probe = std::fopen("/dev/shm", "r")) {
    std::fclose(probe);
    base = "/dev/shm";
  }
  static std::string folder = base + "/qvctx-profile-fuzz-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) Fail("no folder for the file");
  std::atexit([] {
    std::remove(qvctx::port::NativePath(kIniPath).c_str());
    std::remove(folder.c_str());
  });
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  setenv("QVCTX_DRIVE_C", folder.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const char* const kDefaults[] = {"",    "d",  "dflt  ",
                                          "'q'", "  ", "\"7\""};
  static const std::int32_t kNumberDefaults[] = {777, -5, 0};
  if (size < 2) return 0;
  const std::uint32_t buffer_size = data[0] % 41;
  const char* const fallback = kDefaults[data[1] % 6];
  const std::int32_t number_fallback = kNumberDefaults[data[1] / 6 % 3];
  std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
  std::string section;
  std::string key;
  if (!TakeName(input, section) || !TakeName(input, key)) return 0;

  const std::string path = qvctx::port::NativePath(kIniPath);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) Fail("cannot write the file");
  std::fwrite(input.data(), 1, input.size(), file);
  std::fclose(file);

  const std::vector<Section> sections = Parse(input);
  const Entry* entry = Find(sections, section, key);

  // The buffer has exactly `buffer_size` bytes, so AddressSanitizer sees a
  // write past its end.
  const std::unique_ptr<char[]> buffer(new char[buffer_size]);
  const std::uint32_t length =
      qvctx::port::ReadProfileString(section.c_str(), key.c_str(), fallback,
                                     buffer.get(), buffer_size, kIniPath);
  const std::string expected = ExpectedText(entry, fallback, buffer_size);
  Check(length == expected.size(), "length of the text");
  if (buffer_size > 0) {
    Check(std::string_view(buffer.get(), length) == expected, "text");
    Check(buffer[length] == '\0', "text not terminated");
  }

  const std::uint32_t number = qvctx::port::ReadProfileInt(
      section.c_str(), key.c_str(), number_fallback, kIniPath);
  Check(number == ExpectedNumber(ExpectedText(entry, "", kNumberBuffer),
                                 number_fallback),
        "number");
  return 0;
}
