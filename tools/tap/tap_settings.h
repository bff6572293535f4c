// Where the tap finds the platform's library and where it records.
#ifndef QVCTX_TOOLS_TAP_TAP_SETTINGS_H_
#define QVCTX_TOOLS_TAP_TAP_SETTINGS_H_

#include <string>

namespace qvtap {

// The file beside the tap that configures it when the environment does not.
constexpr char kIniName[] = "qvctx-tap.ini";
// The environment's names; each wins over the file's key of the same meaning.
constexpr char kTargetVariable[] = "QVCTX_TAP_TARGET";
constexpr char kRecordVariable[] = "QVCTX_TAP_RECORD";

struct TapSettings {
  std::string target;  // full path of the platform's library
  // Recording prefix; empty: nothing is recorded. Each process records to
  // files of its own, PREFIX.p<pid>[.s<session>][.<n>].server.bin and
  // .client.bin (wfsim::ProcessRecordingPrefix).
  std::string record;
};

// Reads the keys "target" and "record" from the text of qvctx-tap.ini:
// "key = value" lines, blanks around both trimmed, lines starting with '#'
// or ';' and "[section]" lines ignored, later lines winning. A key not in
// the text leaves its field as it was.
void ReadIniText(const std::string& text, TapSettings* settings);

// The settings for a tap at `own_path`: qvctx-tap.ini beside it, then the
// environment over it, then the platform's default target when none is
// named.
TapSettings ResolveSettings(const std::string& own_path);

}  // namespace qvtap

#endif  // QVCTX_TOOLS_TAP_TAP_SETTINGS_H_
