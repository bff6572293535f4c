// Round-trip latencies of the calls: percentiles and a small text histogram
// with log-scale buckets (1-2-5 steps per decade).
#ifndef QVCTX_TOOLS_HOST_LATENCY_STATS_H_
#define QVCTX_TOOLS_HOST_LATENCY_STATS_H_

#include <string>
#include <vector>

namespace qvctx_host {

class LatencyStats {
 public:
  // Latencies in microseconds, in any order.
  explicit LatencyStats(std::vector<double> microseconds);

  bool empty() const { return sorted_.empty(); }
  // The nearest-rank percentile `p` (0 < p <= 100); 0 when empty.
  double Percentile(double p) const;
  double Max() const { return empty() ? 0 : sorted_.back(); }

  // One line per bucket from the lowest to the highest that holds a value:
  // its range, its count and a bar of '#', `bar_width` for the fullest.
  std::string Histogram(int bar_width) const;

  // "850 us", "1.25 ms", "2.5 s".
  static std::string Format(double microseconds);

 private:
  std::vector<double> sorted_;  // ascending
};

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_LATENCY_STATS_H_
