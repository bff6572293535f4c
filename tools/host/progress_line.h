// The progress line on stderr while the host runs ("calls 120/200 answered
// 118"), rewritten in place with '\r'. It shows only when stderr is a
// terminal: redirected output never holds it.
#ifndef QVCTX_TOOLS_HOST_PROGRESS_LINE_H_
#define QVCTX_TOOLS_HOST_PROGRESS_LINE_H_

#include <cstddef>
#include <string>

namespace qvctx_host {

class ProgressLine {
 public:
  ProgressLine();
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Replaces the line with `text`.
  void Show(const std::string& text);
  // Removes the line, so the summary starts on a clean line.
  void Clear();

 private:
  const bool enabled_;     // stderr is a terminal
  std::size_t shown_ = 0;  // length of the text on screen
};

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_PROGRESS_LINE_H_
