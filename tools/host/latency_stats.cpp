#include "latency_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qvctx_host {

namespace {

// The lower edge of bucket k: 1, 2, 5, 10, 20, 50 ... microseconds. Bucket 0
// also takes everything below 1 us.
double BucketEdge(int k) {
  static const double kSteps[3] = {1, 2, 5};
  return kSteps[k % 3] * std::pow(10.0, k / 3);
}

int BucketOf(double microseconds) {
  int k = 0;
  while (BucketEdge(k + 1) <= microseconds) ++k;
  return k;
}

}  // namespace

LatencyStats::LatencyStats(std::vector<double> microseconds)
    : sorted_(std::move(microseconds)) {
  std::sort(sorted_.begin(), sorted_.end());
}

double LatencyStats::Percentile(double p) const {
  if (sorted_.empty()) return 0;
  const double rank =
      std::ceil(p / 100.0 * static_cast<double>(sorted_.size()));
  const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
  return sorted_[std::min(index, sorted_.size() - 1)];
}

std::string LatencyStats::Format(double microseconds) {
  char text[32];
  if (microseconds < 1000) {
    std::snprintf(text, sizeof(text), "%.0f us", microseconds);
  } else if (microseconds < 1e6) {
    std::snprintf(text, sizeof(text), "%.3g ms", microseconds / 1e3);
  } else {
    std::snprintf(text, sizeof(text), "%.3g s", microseconds / 1e6);
  }
  return text;
}

std::string LatencyStats::Histogram(int bar_width) const {
  if (sorted_.empty()) return std::string();
  const int first = BucketOf(sorted_.front());
  const int last = BucketOf(sorted_.back());
  std::vector<std::size_t> counts(static_cast<std::size_t>(last - first + 1));
  for (double value : sorted_) ++counts[BucketOf(value) - first];
  const std::size_t fullest = *std::max_element(counts.begin(), counts.end());
  std::string lines;
  for (int k = first; k <= last; ++k) {
    const std::size_t count = counts[k - first];
    std::size_t bar = count * static_cast<std::size_t>(bar_width) / fullest;
    if (count > 0 && bar == 0) bar = 1;  // a bucket that holds one shows it
    char line[128];
    std::snprintf(line, sizeof(line), "  %8s .. %-8s %7zu |",
                  Format(k == 0 ? 0 : BucketEdge(k)).c_str(),
                  Format(BucketEdge(k + 1)).c_str(), count);
    lines += line;
    lines.append(bar, '#');
    lines += '\n';
  }
  return lines;
}

}  // namespace qvctx_host
