#include "progress_line.h"

#include <cstdio>

#include "host_system.h"

namespace qvctx_host {

ProgressLine::ProgressLine() : enabled_(StderrIsTerminal()) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Show(const std::string& text) {
  if (!enabled_) return;
  std::string line = "\r" + text;
  if (text.size() < shown_) line.append(shown_ - text.size(), ' ');
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  shown_ = text.size();
}

void ProgressLine::Clear() {
  if (!enabled_ || shown_ == 0) return;
  std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown_), "");
  std::fflush(stderr);
  shown_ = 0;
}

}  // namespace qvctx_host
