// qvctx-dump: decodes recorded "qvctx" channel streams, one line per package,
// and flags every front the receiving end would refuse or handle unusually.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "common/file_check.h"
#include "record_printer.h"
#include "stream_decoder.h"
#include "stream_recorder.h"

namespace {

constexpr const char* kUsage =
    "usage: qvctx-dump [--direction server|client] FILE|PREFIX...\n"
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
    "Exit status: 0 dumped, 1 a file could not be read, 2 wrong usage.\n";

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

// Decodes and prints one file; false when it could not be read.
bool Dump(const Job& job) {
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
  if (read_error) {
    std::fprintf(stderr, "qvctx-dump: read error in %s\n", job.path.c_str());
  }
  return !read_error;
}

// Turns the arguments into files to dump; false (after a message) on wrong
// usage.
bool ParseArguments(int argc, char** argv, std::vector<Job>* jobs, bool* help) {
  bool direction_given = false;
  qvdump::Direction direction = qvdump::Direction::kServerToClient;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-h" || argument == "--help") {
      *help = true;
      return true;
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
  if (jobs->empty()) {
    std::fprintf(stderr, "qvctx-dump: no file given\n");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Job> jobs;
  bool help = false;
  if (!ParseArguments(argc, argv, &jobs, &help)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  int status = 0;
  try {
    for (const Job& job : jobs) {
      if (!Dump(job)) status = 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qvctx-dump: %s\n", error.what());
    return 1;
  }
  return status;
}
