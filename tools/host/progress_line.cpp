#include "progress_line.h"

#include <cstdio>

#include "host_system.h"

namespace qvctx_host {

namespace {

// In one write: stderr is unbuffered, and a console draws a line written
// character by character as it comes.
void Write(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

ProgressLine::ProgressLine() : enabled_(StderrIsTerminal()) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Show(const std::string& text) {
  if (!enabled_) return;
  std::string line = "\r" + text;
  if (text.size() < shown_) line.append(shown_ - text.size(), ' ');
  Write(line);
  shown_ = text.size();
}

void ProgressLine::Clear() {
  if (!enabled_ || shown_ == 0) return;
  Write("\r" + std::string(shown_, ' ') + "\r");
  shown_ = 0;
}

}  // namespace qvctx_host
