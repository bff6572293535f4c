// qvctx-dump: decodes recorded "qvctx" channel streams, one line per package,
// and flags every front the receiving end would refuse or handle unusually.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "common/file_check.h"
#include "protocol/wire_format.h"
#include "qvctx_port/number.h"
#include "record_printer.h"
#include "recording_files.h"
#include "stream_decoder.h"
#include "timed_listing.h"
#include "wfsim/recording/recording_format.h"
#include "wfsim/recording/stream_recorder.h"

namespace {

constexpr const char* kUsage =
    "usage: qvctx-dump [--json] [--strict] [--type N]... [--id N]...\n"
    "                  [--direction server|client] "
    "FILE|PREFIX|FOLDER|PATTERN...\n"
    "       qvctx-dump --extract OFFSET --out FILE PREFIX|FILE\n"
    "\n"
    "Decodes recorded streams of the \"qvctx\" channel. Each direction is\n"
    "recorded to a file of its own, exactly the channel's bytes:\n"
    "  PREFIX.server.bin  what the server (qvctx) wrote, toward the client\n"
    "  PREFIX.client.bin  what the client sent, toward the server\n"
    "The direction comes from the name's ending; --direction sets it for\n"
    "every FILE named after it, whatever the name. An argument that is no\n"
    "file but a PREFIX with either recording beside it dumps both that\n"
    "exist, the server's first.\n"
    "\n"
    "A FOLDER, or a PATTERN ('*' and '?' in its last part, e.g.\n"
    "'C:\\rec\\probe.*'), stands for every recording among its files: each\n"
    "prefix with its two files is listed on its own, headed by the process\n"
    "(and session) its name tells. qvctx-tap names its recordings\n"
    "PREFIX.p<pid>[.s<session>][.<n>], one per host process.\n"
    "\n"
    "One line per package: offset, direction, FNCTyp, messageID, function id\n"
    "(the low byte of messageID), datasize, the first time stamp, the first\n"
    "16 payload bytes in hex, and a flag when the receiving end would refuse\n"
    "the front or handle it unusually. A summary line ends each file.\n"
    "\n"
    "A recording holds no read timing. After bytes that begin no header the\n"
    "dump falls into step again at the next offset where a header with a\n"
    "usable datasize (34 up to the largest package the receiving end can\n"
    "hold) begins and prints one line for the bytes skipped; a header with\n"
    "an unusable datasize is shown as its 34 bytes, and the bytes behind it\n"
    "are the next front. The live reader would instead hold such a front\n"
    "until its 10 MiB buffer overflows (or empty its buffer at once for a\n"
    "datasize below 34), losing whatever it held then.\n"
    "\n"
    "Timed recordings (qvctx-tap's, the simulator's and qvctx-client's\n"
    "--record: each file begins with \"QVCTXREC\") carry the time of every\n"
    "read and write and name their own direction. Their packages are listed\n"
    "in one list, both directions merged in time order, each stamped with\n"
    "the time its last byte went over the channel (seconds after the first).\n"
    "Every far-function call is paired with the result carrying its\n"
    "messageID (the earliest call waiting for one), with the latency between\n"
    "them; the calls never answered are listed at the end. A file cut off in\n"
    "its last chunk (a full disk, a crash) is reported as truncated.\n"
    "\n"
    "  --json      one JSON object per line: each package (or skipped run)\n"
    "              with its fields, flag, answer and latency, then a summary\n"
    "  --strict    exit 1 when anything was flagged: a front flagged above,\n"
    "              a call never answered, an answer to no call, a cut-off "
    "file\n"
    "  --type N    list only packages of FNCTyp N (0 call, 1 event, 2 result,\n"
    "              3); may be repeated\n"
    "  --id N      list only packages with messageID N (decimal or 0x hex);\n"
    "              may be repeated\n"
    "  --extract OFFSET --out FILE\n"
    "              write the package the server wrote at OFFSET of its\n"
    "              stream (the listing's offset column) to FILE, exactly as\n"
    "              it went over the channel, header included; qvctx-host\n"
    "              --probe --send FILE sends it again. Needs exactly one\n"
    "              recording (PREFIX or its server file)\n"
    "Filters choose what is printed; the pairing and --strict see it all.\n"
    "Untimed recordings are listed with the same options, file by file in\n"
    "the order given, without times or latencies.\n"
    "\n"
    "Exit status: 0 dumped (or extracted), 1 a file could not be read (or\n"
    "--strict found a problem, or no whole package begins at OFFSET), 2\n"
    "wrong usage.\n";

using wfsim::StreamRecorder;
constexpr const char* kServerSuffix = StreamRecorder::kServerSuffix;
constexpr const char* kClientSuffix = StreamRecorder::kClientSuffix;

// Bytes read from a file at a time.
constexpr std::size_t kChunkSize = 1 << 20;

struct Job {
  std::string path;
  qvdump::Direction direction;
};

bool EndsWith(const std::string& text, const char* ending) {
  const std::size_t length = std::strlen(ending);
  return text.size() >= length &&
         text.compare(text.size() - length, length, ending) == 0;
}

// Prints the records the decoder completed since the last call.
void PrintRecords(const qvdump::RecordPrinter& printer,
                  qvdump::StreamDecoder* decoder) {
  for (const qvdump::Record& record : decoder->TakeRecords()) {
    std::printf("%s\n", printer.Line(record).c_str());
  }
}

// A recording found in a folder or by a pattern, listed on its own.
struct FoundJobs {
  std::string prefix;
  std::vector<Job> jobs;
};

struct Options {
  std::vector<Job> jobs;         // the files named, listed together
  std::vector<FoundJobs> found;  // the recordings of folders and patterns
  bool extract = false;
  std::uint64_t extract_offset = 0;
  std::string extract_out;
  bool help = false;
  bool json = false;
  bool strict = false;
  qvdump::ListingFilter filter;
};

// Decodes and prints one file; false when it could not be read. Adds the
// flagged records to `*flagged`.
bool Dump(const Job& job, std::uint64_t* flagged) {
  std::FILE* file = std::fopen(job.path.c_str(), "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "qvctx-dump: cannot open %s\n", job.path.c_str());
    return false;
  }
  qvdump::StreamDecoder decoder(job.direction);
  const qvdump::RecordPrinter printer(job.direction);
  std::printf("== %s (%s)\n%s\n", job.path.c_str(),
              qvdump::RecordPrinter::DirectionName(job.direction),
              printer.ColumnNames().c_str());
  std::vector<std::uint8_t> chunk(kChunkSize);
  bool read_error = false;
  for (;;) {
    const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
    if (got == 0) {
      read_error = std::ferror(file) != 0;
      break;
    }
    decoder.Feed(chunk.data(), got);
    PrintRecords(printer, &decoder);
  }
  std::fclose(file);
  decoder.Finish();
  PrintRecords(printer, &decoder);
  std::printf("%s\n", printer.SummaryLine(decoder.summary()).c_str());
  *flagged += decoder.summary().flagged;
  if (read_error) {
    std::fprintf(stderr, "qvctx-dump: read error in %s\n", job.path.c_str());
  }
  return !read_error;
}

// The value of option `name` at argv[*i] ("--name V" or "--name=V"); false
// when `argument` is not that option.
bool OptionValue(int argc, char** argv, int* i, const char* name,
                 std::string* value, bool* missing) {
  const std::string argument = argv[*i];
  const std::string with_equals = std::string(name) + "=";
  if (argument == name) {
    if (*i + 1 >= argc) {
      *missing = true;
      return true;
    }
    *value = argv[++*i];
    return true;
  }
  if (argument.rfind(with_equals, 0) == 0) {
    *value = argument.substr(with_equals.size());
    return true;
  }
  return false;
}

// Whether the file at `path` is a timed recording.
bool IsTimed(const std::string& path) {
  wfsim::RecordingReader reader;
  std::string error;
  return reader.Open(path, &error) && reader.timed();
}

// Turns the arguments into files to dump; false (after a message) on wrong
// usage.
bool ParseArguments(int argc, char** argv, Options* options) {
  std::vector<Job>* const jobs = &options->jobs;
  bool direction_given = false;
  qvdump::Direction direction = qvdump::Direction::kServerToClient;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-h" || argument == "--help") {
      options->help = true;
      return true;
    }
    if (argument == "--json" || argument == "--strict") {
      (argument == "--json" ? options->json : options->strict) = true;
      continue;
    }
    std::string option_value;
    bool missing = false;
    const bool is_type =
        OptionValue(argc, argv, &i, "--type", &option_value, &missing);
    if (is_type ||
        OptionValue(argc, argv, &i, "--id", &option_value, &missing)) {
      const char* const name = is_type ? "--type" : "--id";
      std::uint32_t number = 0;
      const std::string complaint =
          missing
              ? std::string(name) + " needs a value"
              : qvctx_port::ParseNumber(
                    name, option_value, 0,
                    is_type ? std::uint32_t{qvctx::kHighestFncTyp} : UINT32_MAX,
                    &number);
      if (!complaint.empty()) {
        std::fprintf(stderr, "qvctx-dump: %s\n", complaint.c_str());
        return false;
      }
      if (is_type) {
        options->filter.types.insert(number);
      } else {
        options->filter.message_ids.insert(number);
      }
      continue;
    }
    if (OptionValue(argc, argv, &i, "--extract", &option_value, &missing)) {
      options->extract = true;
      const std::string complaint =
          missing ? std::string("--extract needs a value")
                  : qvctx_port::ParseNumber("--extract", option_value,
                                            std::uint64_t{0}, UINT64_MAX,
                                            &options->extract_offset);
      if (!complaint.empty()) {
        std::fprintf(stderr, "qvctx-dump: %s\n", complaint.c_str());
        return false;
      }
      continue;
    }
    if (OptionValue(argc, argv, &i, "--out", &options->extract_out, &missing)) {
      if (missing || options->extract_out.empty()) {
        std::fprintf(stderr, "qvctx-dump: --out needs a file\n");
        return false;
      }
      continue;
    }
    if (argument == "--direction" || argument.rfind("--direction=", 0) == 0) {
      std::string value;
      if (argument == "--direction") {
        if (i + 1 >= argc) {
          std::fprintf(stderr, "qvctx-dump: --direction needs a value\n");
          return false;
        }
        value = argv[++i];
      } else {
        value = argument.substr(std::strlen("--direction="));
      }
      if (value != "server" && value != "client") {
        std::fprintf(stderr,
                     "qvctx-dump: --direction takes server or client, not "
                     "\"%s\"\n",
                     value.c_str());
        return false;
      }
      direction_given = true;
      direction = value == "server" ? qvdump::Direction::kServerToClient
                                    : qvdump::Direction::kClientToServer;
      continue;
    }
    if (argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "qvctx-dump: unknown option %s\n", argv[i]);
      return false;
    }
    std::vector<qvdump::FoundRecording> found;
    if (qvdump::FindRecordings(argument, &found)) {
      if (found.empty()) {
        std::fprintf(stderr, "qvctx-dump: no recording in %s\n", argv[i]);
        return false;
      }
      for (const qvdump::FoundRecording& recording : found) {
        FoundJobs each{recording.prefix, {}};
        if (!recording.server.empty()) {
          each.jobs.push_back(
              {recording.server, qvdump::Direction::kServerToClient});
        }
        if (!recording.client.empty()) {
          each.jobs.push_back(
              {recording.client, qvdump::Direction::kClientToServer});
        }
        options->found.push_back(each);
      }
      continue;
    }
    if (!qvctx_tools::FileIsReadable(argument)) {
      const std::string server = argument + kServerSuffix;
      const std::string client = argument + kClientSuffix;
      const bool has_server = qvctx_tools::FileIsReadable(server);
      const bool has_client = qvctx_tools::FileIsReadable(client);
      if (has_server) {
        jobs->push_back({server, qvdump::Direction::kServerToClient});
      }
      if (has_client) {
        jobs->push_back({client, qvdump::Direction::kClientToServer});
      }
      if (has_server || has_client) continue;
      // Neither: reported as unreadable when its turn comes, whatever the
      // direction.
      jobs->push_back({argument, direction});
      continue;
    }
    if (direction_given) {
      jobs->push_back({argument, direction});
    } else if (EndsWith(argument, kServerSuffix)) {
      jobs->push_back({argument, qvdump::Direction::kServerToClient});
    } else if (EndsWith(argument, kClientSuffix)) {
      jobs->push_back({argument, qvdump::Direction::kClientToServer});
    } else {
      std::fprintf(stderr,
                   "qvctx-dump: cannot tell the direction of %s: name it "
                   "PREFIX.server.bin or PREFIX.client.bin, or give "
                   "--direction before it\n",
                   argv[i]);
      return false;
    }
  }
  if (jobs->empty() && options->found.empty()) {
    std::fprintf(stderr, "qvctx-dump: no file given\n");
    return false;
  }
  if (options->extract != !options->extract_out.empty()) {
    std::fprintf(stderr, "qvctx-dump: --extract and --out go together\n");
    return false;
  }
  std::size_t servers = 0;
  for (const Job& job : *jobs) {
    if (job.direction == qvdump::Direction::kServerToClient) ++servers;
  }
  if (options->extract && (servers != 1 || !options->found.empty())) {
    std::fprintf(stderr,
                 "qvctx-dump: --extract takes one recording: its PREFIX or "
                 "its server file\n");
    return false;
  }
  return true;
}

// Lists the files' packages together (timed files merged in time order);
// 1 when a file could not be read or --strict found a problem.
int List(const Options& options, const std::vector<Job>& jobs) {
  qvdump::Listing listing;
  int status = 0;
  for (const Job& job : jobs) {
    std::string error;
    if (!listing.AddFile(job.path, job.direction, &error)) {
      std::fprintf(stderr, "qvctx-dump: %s\n", error.c_str());
      status = 1;
    }
  }
  listing.Finish();
  if (options.json) {
    listing.PrintJson(options.filter);
  } else {
    listing.PrintText(options.filter);
  }
  if (options.strict && listing.problems() != 0) status = 1;
  return status;
}

// Lists the files named (when any) together, then each recording found on
// its own, headed by its process.
int ListFound(const Options& options) {
  int status = options.jobs.empty() ? 0 : List(options, options.jobs);
  for (const FoundJobs& found : options.found) {
    if (options.json) {
      wfsim::RecordingProcess process;
      const bool known =
          wfsim::ParseProcessRecordingPrefix(found.prefix, &process);
      const auto number = [](bool is_known, std::uint32_t value) {
        return is_known ? std::to_string(value) : std::string("null");
      };
      std::printf(
          "{\"recording\":{\"prefix\":%s,\"process_id\":%s,"
          "\"session_id\":%s}}\n",
          qvdump::JsonString(found.prefix).c_str(),
          number(known, process.process_id).c_str(),
          number(known && process.has_session, process.session_id).c_str());
    } else {
      std::printf("=== recording %s: %s\n", found.prefix.c_str(),
                  qvdump::ProcessLabel(found.prefix).c_str());
    }
    std::fflush(stdout);
    if (List(options, found.jobs) != 0) status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseArguments(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    if (options.extract) {
      const Job& server =
          options.jobs.front().direction == qvdump::Direction::kServerToClient
              ? options.jobs.front()
              : options.jobs.back();
      std::string what;
      const std::string error = qvdump::ExtractPackage(
          server.path, options.extract_offset, options.extract_out, &what);
      if (!error.empty()) {
        std::fprintf(stderr, "qvctx-dump: %s\n", error.c_str());
        return 1;
      }
      std::printf("wrote the package at offset %llu of %s to %s: %s\n",
                  static_cast<unsigned long long>(options.extract_offset),
                  server.path.c_str(), options.extract_out.c_str(),
                  what.c_str());
      return 0;
    }
    if (!options.found.empty()) return ListFound(options);
    bool listed = options.json || !options.filter.types.empty() ||
                  !options.filter.message_ids.empty();
    for (const Job& job : options.jobs) listed = listed || IsTimed(job.path);
    if (listed) return List(options, options.jobs);
    // Untimed files, one after the other, exactly as they always were.
    int status = 0;
    std::uint64_t flagged = 0;
    for (const Job& job : options.jobs) {
      if (!Dump(job, &flagged)) status = 1;
    }
    if (options.strict && flagged != 0) status = 1;
    return status;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qvctx-dump: %s\n", error.what());
    return 1;
  }
}
