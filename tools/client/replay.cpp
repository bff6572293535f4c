#include "replay.h"

#include <algorithm>
#include <map>

#include "wfsim/recording/recording_format.h"
#include "wfsim/stream/package_cutter.h"
#include "wfsim/stream/package_format.h"

namespace qvctx_client {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kPollMs = 50;
constexpr std::size_t kReceiveChunk = std::size_t{64} * 1024;

using wfsim::PackageCutter;

// Whether the cutter stopped at bytes that frame no package.
bool Unframed(const PackageCutter& cutter) {
  wfsim::HeaderFields header{};
  return cutter.Look(&header) == PackageCutter::Front::kUnframed;
}

std::uint32_t MessageId(const std::vector<std::uint8_t>& package) {
  return wfsim::ReadHeader(package.data()).message_id;
}

bool IsCall(const std::vector<std::uint8_t>& package) {
  const wfsim::HeaderFields header = wfsim::ReadHeader(package.data());
  return header.fnc_typ == qvctx::kFarFunctionType && header.message_id != 0;
}

// What differs between the recorded and the live package of one messageID;
// empty when they agree in type, size and payload.
std::string Compare(const std::vector<std::uint8_t>& recorded,
                    const std::vector<std::uint8_t>& live) {
  const wfsim::HeaderFields want = wfsim::ReadHeader(recorded.data());
  const wfsim::HeaderFields got = wfsim::ReadHeader(live.data());
  if (want.fnc_typ != got.fnc_typ) {
    return "FNCTyp " + std::to_string(got.fnc_typ) + ", recorded " +
           std::to_string(want.fnc_typ);
  }
  if (want.datasize != got.datasize) {
    return std::to_string(got.datasize) + " bytes, recorded " +
           std::to_string(want.datasize);
  }
  const auto mismatch =
      std::mismatch(recorded.begin() + qvctx::kPackageHeadSize, recorded.end(),
                    live.begin() + qvctx::kPackageHeadSize);
  if (mismatch.first == recorded.end()) return "";
  return "payload differs from byte " +
         std::to_string(mismatch.first - recorded.begin() -
                        static_cast<std::ptrdiff_t>(qvctx::kPackageHeadSize));
}

}  // namespace

bool ReadRecordedPackages(const std::string& path,
                          std::vector<RecordedPackage>* packages,
                          std::string* error) {
  wfsim::RecordingReader reader;
  if (!reader.Open(path, error)) return false;
  PackageCutter cutter;
  wfsim::RecordedChunk chunk;
  RecordedPackage package;
  while (reader.Next(&chunk)) {
    cutter.Append(chunk.bytes.data(), chunk.bytes.size());
    package.micros = chunk.micros;
    while (cutter.Next(&package.bytes)) packages->push_back(package);
    if (Unframed(cutter)) {
      *error = path + ": the bytes at offset " +
               std::to_string(cutter.offset()) + " frame no package";
      return false;
    }
  }
  if (reader.read_error()) {
    *error = "read error in " + path;
    return false;
  }
  // A package cut off by the end of the recording is left out.
  return true;
}

bool Replay::Load(const std::string& prefix, std::string* error) {
  std::vector<RecordedPackage> client;
  if (!ReadRecordedPackages(prefix + wfsim::kRecordingServerSuffix, &server_,
                            error) ||
      !ReadRecordedPackages(prefix + wfsim::kRecordingClientSuffix, &client,
                            error)) {
    return false;
  }
  std::uint64_t start = UINT64_MAX;
  for (const auto* list : {&server_, &client}) {
    if (!list->empty()) start = std::min(start, list->front().micros);
  }
  std::map<std::uint32_t, std::vector<std::size_t>> waiting;
  for (std::size_t i = server_.size(); i-- > 0;) {  // earliest at the back
    if (IsCall(server_[i].bytes))
      waiting[MessageId(server_[i].bytes)].push_back(i);
  }
  for (RecordedPackage& package : client) {
    Outgoing out;
    const wfsim::HeaderFields header = wfsim::ReadHeader(package.bytes.data());
    auto& calls = waiting[header.message_id];
    if (header.fnc_typ == qvctx::kResultType && !calls.empty()) {
      out.call = static_cast<std::ptrdiff_t>(calls.back());
      calls.pop_back();
      const std::uint64_t call_micros =
          server_[static_cast<std::size_t>(out.call)].micros;
      out.delay_us =
          package.micros > call_micros ? package.micros - call_micros : 0;
    } else {
      out.delay_us = package.micros - start;
    }
    out.package = std::move(package);
    client_.push_back(std::move(out));
  }
  return true;
}

// When the live host's calls arrived, matched to the recorded calls: the
// n-th live call of a messageID to the n-th recorded one.
class CallArrivals {
 public:
  explicit CallArrivals(const std::vector<RecordedPackage>& server)
      : arrived_(server.size(), Clock::time_point::max()) {
    for (std::size_t i = 0; i < server.size(); ++i) {
      if (IsCall(server[i].bytes)) {
        recorded_[MessageId(server[i].bytes)].push_back(i);
      }
    }
  }
  // A live package arrived now; a call marks its recorded counterpart.
  void Note(const std::vector<std::uint8_t>& package) {
    if (!IsCall(package)) return;
    const std::uint32_t id = MessageId(package);
    const std::size_t occurrence = live_[id]++;
    const auto found = recorded_.find(id);
    if (found != recorded_.end() && occurrence < found->second.size()) {
      arrived_[found->second[occurrence]] = Clock::now();
    }
  }
  // When the recorded call `index`'s live counterpart arrived; max() while
  // it has not.
  Clock::time_point At(std::size_t index) const { return arrived_[index]; }

 private:
  std::map<std::uint32_t, std::vector<std::size_t>> recorded_;
  std::map<std::uint32_t, std::size_t> live_;
  std::vector<Clock::time_point> arrived_;
};

bool Replay::SendDue(wfsim::TcpStream* stream, bool fast,
                     Clock::time_point start, const CallArrivals& arrivals,
                     Clock::time_point* next, ReplayResult* result) {
  const Clock::time_point now = Clock::now();
  for (Outgoing& out : client_) {
    if (out.sent) continue;
    const Clock::time_point base =
        out.call < 0 ? start : arrivals.At(static_cast<std::size_t>(out.call));
    if (base == Clock::time_point::max()) continue;
    const Clock::time_point due =
        fast ? base : base + std::chrono::microseconds(out.delay_us);
    if (due > now) {
      *next = std::min(*next, due);
      continue;
    }
    if (!stream->SendAll(out.package.bytes.data(), out.package.bytes.size())) {
      return false;
    }
    out.sent = true;
    ++result->sent;
  }
  return true;
}

void Replay::CompareWithRecording(
    const std::vector<std::vector<std::uint8_t>>& live,
    ReplayResult* result) const {
  // Each messageID's packages, recorded and live, compared in order.
  std::map<std::uint32_t,
           std::pair<std::vector<const std::vector<std::uint8_t>*>,
                     std::vector<const std::vector<std::uint8_t>*>>>
      by_id;
  for (const RecordedPackage& p : server_) {
    by_id[MessageId(p.bytes)].first.push_back(&p.bytes);
  }
  for (const std::vector<std::uint8_t>& p : live) {
    by_id[MessageId(p)].second.push_back(&p);
  }
  for (const auto& entry : by_id) {
    const auto& recorded = entry.second.first;
    const auto& got = entry.second.second;
    const std::string id = "messageID " + std::to_string(entry.first);
    for (std::size_t k = 0; k < std::max(recorded.size(), got.size()); ++k) {
      const std::string which = recorded.size() > 1 || got.size() > 1
                                    ? id + " (#" + std::to_string(k + 1) + ")"
                                    : id;
      if (k >= got.size()) {
        result->differences.push_back(which + ": recorded (" +
                                      std::to_string(recorded[k]->size()) +
                                      " bytes), never sent by the host");
      } else if (k >= recorded.size()) {
        result->differences.push_back(which + ": sent by the host (" +
                                      std::to_string(got[k]->size()) +
                                      " bytes), not in the recording");
      } else {
        const std::string difference = Compare(*recorded[k], *got[k]);
        if (!difference.empty()) {
          result->differences.push_back(which + ": " + difference);
        }
      }
    }
  }
}

ReplayResult Replay::Play(wfsim::TcpStream* stream, bool fast,
                          Clock::time_point deadline) {
  ReplayResult result;
  const Clock::time_point start = Clock::now();
  CallArrivals arrivals(server_);
  std::vector<std::vector<std::uint8_t>> live;
  PackageCutter cutter;
  std::vector<std::uint8_t> chunk(kReceiveChunk);
  for (;;) {
    if (Clock::now() >= deadline) {
      result.timed_out = true;
      break;
    }
    Clock::time_point next = Clock::now() + std::chrono::milliseconds(kPollMs);
    if (!SendDue(stream, fast, start, arrivals, &next, &result)) break;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        next - Clock::now());
    const int ready = stream->WaitReadable(
        static_cast<std::uint32_t>(std::max<long long>(0, wait.count())));
    if (ready == 0) continue;
    const long long got =
        ready < 0 ? -1 : stream->Receive(chunk.data(), chunk.size());
    if (got <= 0) break;
    cutter.Append(chunk.data(), static_cast<std::size_t>(got));
    std::vector<std::uint8_t> package;
    while (cutter.Next(&package)) {
      arrivals.Note(package);
      live.push_back(std::move(package));
      ++result.received;
    }
  }
  if (Unframed(cutter)) {
    result.differences.push_back("the host's bytes at offset " +
                                 std::to_string(cutter.offset()) +
                                 " frame no package");
  }
  CompareWithRecording(live, &result);
  return result;
}

}  // namespace qvctx_client
