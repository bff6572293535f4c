// Recordings as files: the recordings a folder or a pattern holds, the
// process a recording's name tells, and one package of a recording copied
// out to a file of its own.
#ifndef QVCTX_TOOLS_DUMP_RECORDING_FILES_H_
#define QVCTX_TOOLS_DUMP_RECORDING_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qvdump {

// One recording: the files of one prefix.
struct FoundRecording {
  std::string prefix;  // the path without the direction's ending
  std::string server;  // PREFIX.server.bin; empty when there is none
  std::string client;  // PREFIX.client.bin; likewise
};

// True when `argument` names a folder, or is a pattern ('*' and '?' in its
// last part, matched against the names in its folder); `*found` then gets
// the recordings among those files (names ending in .server.bin or
// .client.bin), in the order of their prefixes.
bool FindRecordings(const std::string& argument,
                    std::vector<FoundRecording>* found);

// What a recording's prefix says of its process: "process 4242, session 2",
// "process 4242", or "process unknown" for a name without one.
std::string ProcessLabel(const std::string& prefix);

// The package of the server's stream in `path` (a recording's server file,
// timed or not) that begins at stream offset `offset`, written whole to
// `out`: exactly the bytes the server wrote, header included. Returns an
// empty string with `*what` describing the package, or why nothing was
// written.
std::string ExtractPackage(const std::string& path, std::uint64_t offset,
                           const std::string& out, std::string* what);

}  // namespace qvdump

#endif  // QVCTX_TOOLS_DUMP_RECORDING_FILES_H_
