// The profile-file reading of platform.h on POSIX, reading INI files the way
// GetPrivateProfileStringA and GetPrivateProfileIntA do.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace qvctx::port {

namespace {

// The buffer through which a number's text is read: only its first 29
// characters count.
constexpr std::uint32_t kNumberTextSize = 30;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A default loses its trailing spaces (only spaces), but never its first
// character.
std::string_view TrimDefault(std::string_view text) {
  while (text.size() > 1 && text.back() == ' ') text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// What the file says about one key.
enum class Entry {
  kMissing,  // no file, no such section or no such key
  kNoValue,  // the key's first entry has no '='
  kValue,    // the key's first entry has a value (perhaps empty)
};

// Reads one line into `line`, without its line end (LF, CR LF or a lone CR).
// False at the end of the file when no line was left.
bool ReadLine(std::FILE* file, std::string& line) {
  line.clear();
  int c = std::getc(file);
  if (c == EOF) return false;
  while (c != EOF && c != '\n' && c != '\r') {
    line.push_back(static_cast<char>(c));
    c = std::getc(file);
  }
  if (c == '\r') {
    c = std::getc(file);
    if (c != '\n' && c != EOF) std::ungetc(c, file);
  }
  return true;
}

// Scans the file for the first entry of `key` in the first section named
// `section` (both trimmed already) and leaves its value in `value`.
Entry FindEntry(std::FILE* file, std::string_view section, std::string_view key,
                std::string& value) {
  static constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
  // Entries before the first section header belong to the nameless section.
  bool inside = section.empty();
  std::string line;
  bool first_line = true;
  while (ReadLine(file, line)) {
    std::string_view text(line.c_str());  // a NUL ends the line's text
    if (first_line && text.substr(0, 3) == kByteOrderMark)
      text.remove_prefix(3);
    first_line = false;
    text = Trim(text);
    if (text.empty() || text.front() == ';') continue;
    if (text.front() == '[') {
      const std::size_t close = text.rfind(']');
      if (close == std::string_view::npos) continue;
      // Later sections of the same name do not count: the first one ends here.
      if (inside) return Entry::kMissing;
      inside = SameName(Trim(text.substr(1, close - 1)), section);
      continue;
    }
    if (!inside) continue;
    const std::size_t equals = text.find('=');
    if (!SameName(Trim(text.substr(0, equals)), key)) continue;
    if (equals == std::string_view::npos) return Entry::kNoValue;
    value.assign(Trim(text.substr(equals + 1)));
    return Entry::kValue;
  }
  return Entry::kMissing;
}

Entry LookUp(const char* section, const char* key, const char* windows_path,
             std::string& value) noexcept {
  std::FILE* file = nullptr;
  Entry entry = Entry::kMissing;
  try {
    file = std::fopen(NativePath(windows_path).c_str(), "rb");
    if (file != nullptr)
      entry = FindEntry(file, Trim(section), Trim(key), value);
  } catch (const std::exception&) {
    // Out of memory for the path or a line: read as if the file were missing.
    entry = Entry::kMissing;
  }
  if (file == nullptr) return Entry::kMissing;
  // A folder opens but cannot be read: the same as a missing file.
  if (std::ferror(file) != 0) entry = Entry::kMissing;
  std::fclose(file);
  return entry;
}

// Copies `text` into `buffer` as the profile functions do: a text in matching
// quotes loses the opening one, and the closing one when it fitted.
std::uint32_t CopyText(std::string_view text, char* buffer,
                       std::uint32_t size) {
  const bool quoted = text.size() >= 2 &&
                      (text.front() == '"' || text.front() == '\'') &&
                      text.back() == text.front();
  if (quoted) text.remove_prefix(1);
  std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), length);
  if (quoted && size >= text.size() && length > 0) --length;
  buffer[length] = '\0';
  return static_cast<std::uint32_t>(length);
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return -1;
}

std::uint32_t ParseNumber(const char* text) {
  const auto is_skipped = [](char c) {
    return c != '\0' && static_cast<unsigned char>(c) <= ' ';
  };
  while (is_skipped(*text)) ++text;
  const bool negative = *text == '-';
  if (*text == '+' || *text == '-') ++text;
  std::uint32_t base = 10;
  if (text[0] == '0' && text[1] != '\0') {
    const char marker = text[1];
    base = marker == 'x' ? 16 : marker == 'o' ? 8 : marker == 'b' ? 2 : 10;
    if (base != 10) text += 2;
  }
  std::uint32_t total = 0;
  for (; *text != '\0'; ++text) {
    const int digit = DigitValue(*text);
    if (digit < 0 || static_cast<std::uint32_t>(digit) >= base) break;
    total = total * base + static_cast<std::uint32_t>(digit);
  }
  return negative ? 0U - total : total;
}

}  // namespace

std::uint32_t ReadProfileString(const char* section, const char* key,
                                const char* default_value, char* buffer,
                                std::uint32_t size, const char* windows_path) {
  if (size == 0) return 0;
  std::string value;
  if (LookUp(section, key, windows_path, value) == Entry::kValue) {
    return CopyText(value, buffer, size);
  }
  return CopyText(TrimDefault(default_value), buffer, size);
}

std::uint32_t ReadProfileInt(const char* section, const char* key,
                             std::int32_t default_value,
                             const char* windows_path) {
  char text[kNumberTextSize];
  if (ReadProfileString(section, key, "", text, sizeof(text), windows_path) ==
      0) {
    return static_cast<std::uint32_t>(default_value);
  }
  return ParseNumber(text);
}

}  // namespace qvctx::port
