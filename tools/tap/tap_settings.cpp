#include "tap_settings.h"

#include <cstdio>

#include "tap_system.h"

namespace qvtap {

namespace {

std::string Trim(const std::string& text) {
  const char* const blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The file's text; empty when it cannot be read. Bounded: a settings file
// is a few lines.
std::string ReadSmallFile(const std::string& path) {
  std::FILE* const file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "";
  std::string text(std::size_t{64} * 1024, '\0');
  text.resize(std::fread(&text[0], 1, text.size(), file));
  std::fclose(file);
  return text;
}

}  // namespace

void ReadIniText(const std::string& text, TapSettings* settings) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') {
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    if (key == "target") settings->target = value;
    if (key == "record") settings->record = value;
  }
}

TapSettings ResolveSettings(const std::string& own_path) {
  TapSettings settings;
  const std::size_t separator = own_path.find_last_of("/\\");
  if (separator != std::string::npos) {
    ReadIniText(ReadSmallFile(own_path.substr(0, separator + 1) + kIniName),
                &settings);
  }
  const std::string target = Environment(kTargetVariable);
  if (!target.empty()) settings.target = target;
  const std::string record = Environment(kRecordVariable);
  if (!record.empty()) settings.record = record;
  if (settings.target.empty()) settings.target = DefaultTargetPath();
  return settings;
}

}  // namespace qvtap
