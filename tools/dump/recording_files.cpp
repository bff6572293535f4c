#include "recording_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "protocol/wire_format.h"
#include "stream_decoder.h"
#include "wfsim/recording/recording_format.h"

namespace qvdump {

namespace {

namespace fs = std::filesystem;

// Whether `name` matches `pattern`: '*' any run of characters, '?' any one.
bool Matches(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') {
    for (const char* rest = name;; ++rest) {
      if (Matches(pattern + 1, rest)) return true;
      if (*rest == '\0') return false;
    }
  }
  return *name != '\0' && (*pattern == '?' || *pattern == *name) &&
         Matches(pattern + 1, name + 1);
}

bool EndsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// The whole package of the server's stream at `offset`; false when none
// begins there.
bool FindPackage(const std::string& path, std::uint64_t offset, Record* found,
                 std::string* error) {
  wfsim::RecordingReader reader;
  if (!reader.Open(path, error)) return false;
  if (reader.timed() && reader.direction() != wfsim::kRecordedFromServer) {
    *error = path + " holds what the client sent, not the server";
    return false;
  }
  StreamDecoder decoder(Direction::kServerToClient);
  wfsim::RecordedChunk chunk;
  bool more = true;
  bool passed = false;  // a record at or after `offset` came
  while (more && !passed) {
    more = reader.Next(&chunk);
    if (more) {
      decoder.Feed(chunk.bytes.data(), chunk.bytes.size());
    } else {
      decoder.Finish();
    }
    for (Record& record : decoder.TakeRecords()) {
      if (record.offset < offset) continue;
      const bool whole = record.offset == offset &&
                         record.kind == Record::Kind::kPackage &&
                         record.header_bytes == qvctx::kPackageHeadSize &&
                         record.length == record.datasize &&
                         record.flag != Flag::kIncomplete &&
                         record.flag != Flag::kUnframedDatasize;
      if (whole) {
        *found = std::move(record);
        return true;
      }
      passed = true;
      break;
    }
  }
  *error = "no whole package begins at offset " + std::to_string(offset) +
           " of " + path + " (the listing gives each package's offset)";
  return false;
}

}  // namespace

bool FindRecordings(const std::string& argument,
                    std::vector<FoundRecording>* found) {
  std::error_code ignored;
  fs::path folder;
  std::string pattern = "*";
  if (fs::is_directory(argument, ignored)) {
    folder = argument;
  } else {
    const std::size_t separator = argument.find_last_of("/\\");
    pattern = argument.substr(separator + 1);
    if (pattern.find_first_of("*?") == std::string::npos) return false;
    folder = separator == std::string::npos
                 ? fs::path(".")
                 : fs::path(argument.substr(0, separator + 1));
  }
  const std::string server_ending = wfsim::kRecordingServerSuffix;
  const std::string client_ending = wfsim::kRecordingClientSuffix;
  std::map<std::string, FoundRecording> by_prefix;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(folder, ignored)) {
    const std::string name = entry.path().filename().string();
    if (!Matches(pattern.c_str(), name.c_str()) ||
        !entry.is_regular_file(ignored)) {
      continue;
    }
    const bool server = EndsWith(name, server_ending);
    if (!server && !EndsWith(name, client_ending)) continue;
    const std::string path = entry.path().string();
    const std::string prefix = path.substr(
        0, path.size() - (server ? server_ending : client_ending).size());
    FoundRecording& recording = by_prefix[prefix];
    recording.prefix = prefix;
    (server ? recording.server : recording.client) = path;
  }
  for (auto& entry : by_prefix) found->push_back(std::move(entry.second));
  return true;
}

std::string ProcessLabel(const std::string& prefix) {
  wfsim::RecordingProcess process;
  if (!wfsim::ParseProcessRecordingPrefix(prefix, &process)) {
    return "process unknown";
  }
  std::string label = "process " + std::to_string(process.process_id);
  if (process.has_session) {
    label += ", session " + std::to_string(process.session_id);
  }
  return label;
}

std::string ExtractPackage(const std::string& path, std::uint64_t offset,
                           const std::string& out, std::string* what) {
  Record package;
  std::string error;
  if (!FindPackage(path, offset, &package, &error)) return error;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(package.length);
  wfsim::RecordingReader reader;
  if (!reader.Open(path, &error)) return error;
  wfsim::RecordedChunk chunk;
  std::uint64_t at = 0;  // the stream offset of the chunk's first byte
  while (bytes.size() < package.length && reader.Next(&chunk)) {
    const std::uint64_t end = at + chunk.bytes.size();
    if (end > offset) {
      const std::uint64_t from = offset > at ? offset - at : 0;
      const std::uint64_t wanted = package.length - bytes.size();
      const std::uint64_t take =
          std::min<std::uint64_t>(wanted, chunk.bytes.size() - from);
      bytes.insert(bytes.end(), chunk.bytes.begin() + from,
                   chunk.bytes.begin() + from + take);
    }
    at = end;
  }
  if (bytes.size() != package.length) return "read error in " + path;
  std::FILE* const file = std::fopen(out.c_str(), "wb");
  if (file == nullptr) return "cannot create " + out;
  const bool written =
      std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) return "cannot write " + out;
  char text[160];
  std::snprintf(text, sizeof text, "FNCTyp %u, messageID 0x%08X, %u bytes",
                static_cast<unsigned>(package.fnc_typ),
                static_cast<unsigned>(package.message_id),
                static_cast<unsigned>(package.length));
  *what = text;
  return "";
}

}  // namespace qvdump
