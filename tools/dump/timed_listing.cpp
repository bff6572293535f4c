#include "timed_listing.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <deque>
#include <map>
#include <numeric>

#include "protocol/wire_format.h"
#include "record_printer.h"
#include "stream_decoder.h"
#include "wfsim/recording/recording_format.h"

namespace qvdump {

namespace {

std::size_t Side(Direction direction) {
  return direction == Direction::kServerToClient ? 0 : 1;
}

bool IsCall(const ListedRecord& listed) {
  const Record& r = listed.record;
  return listed.direction == Direction::kServerToClient &&
         r.kind == Record::Kind::kPackage && r.flag == Flag::kNone &&
         r.fnc_typ == qvctx::kFarFunctionType && r.message_id != 0;
}

bool IsAnswer(const ListedRecord& listed) {
  const Record& r = listed.record;
  return listed.direction == Direction::kClientToServer &&
         r.kind == Record::Kind::kPackage && r.flag == Flag::kNone &&
         r.fnc_typ == qvctx::kResultType;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (std::uint8_t byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}

std::string Milliseconds(std::uint64_t micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f ms",
                static_cast<double>(micros) / 1e3);
  return text;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

bool ListingFilter::Passes(const Record& record) const {
  if (types.empty() && message_ids.empty()) return true;
  if (record.kind != Record::Kind::kPackage) return false;
  if (!types.empty() &&
      (record.header_bytes < 2 || types.count(record.fnc_typ) == 0)) {
    return false;
  }
  return message_ids.empty() || (record.header_bytes >= 8 &&
                                 message_ids.count(record.message_id) != 0);
}

bool Listing::AddFile(const std::string& path, Direction direction,
                      std::string* error) {
  wfsim::RecordingReader reader;
  if (!reader.Open(path, error)) return false;
  if (reader.timed()) {
    timed_ = true;
    direction = reader.direction() == wfsim::kRecordedFromServer
                    ? Direction::kServerToClient
                    : Direction::kClientToServer;
  }
  files_.push_back(path + " (" + RecordPrinter::DirectionName(direction) +
                   (reader.timed() ? ", timed)" : ", untimed)"));
  StreamDecoder decoder(direction);
  wfsim::RecordedChunk chunk;
  std::uint64_t last_micros = 0;
  const auto take = [&] {
    for (Record& record : decoder.TakeRecords()) {
      ListedRecord listed;
      listed.record = std::move(record);
      listed.direction = direction;
      listed.micros = last_micros;
      records_.push_back(std::move(listed));
    }
  };
  while (reader.Next(&chunk)) {
    last_micros = chunk.micros;
    decoder.Feed(chunk.bytes.data(), chunk.bytes.size());
    take();
  }
  decoder.Finish();
  take();
  Summary& summary = summary_[Side(direction)];
  summary.packages += decoder.summary().packages;
  summary.bytes += decoder.summary().bytes;
  summary.flagged += decoder.summary().flagged;
  summary.skipped_bytes += decoder.summary().skipped_bytes;
  if (reader.truncated()) {
    cuts_.push_back(path + ": the last chunk is cut off after " +
                    std::to_string(reader.truncated_bytes()) + " bytes");
  }
  if (reader.read_error()) {
    *error = "read error in " + path;
    return false;
  }
  return true;
}

void Listing::Finish() {
  // Pairs in stream order, before the records are ordered by time: each
  // answer goes to the earliest unanswered call with its messageID.
  std::map<std::uint32_t, std::deque<std::size_t>> waiting;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (IsCall(records_[i]))
      waiting[records_[i].record.message_id].push_back(i);
  }
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (!IsAnswer(records_[i])) continue;
    auto& calls = waiting[records_[i].record.message_id];
    if (calls.empty()) {
      ++orphans_;
      continue;
    }
    ListedRecord& call = records_[calls.front()];
    calls.pop_front();
    call.partner = static_cast<std::ptrdiff_t>(i);
    records_[i].partner = static_cast<std::ptrdiff_t>(&call - &records_[0]);
    const std::uint64_t latency =
        records_[i].micros > call.micros ? records_[i].micros - call.micros : 0;
    call.latency_us = latency;
    records_[i].latency_us = latency;
  }
  for (const auto& entry : waiting) unanswered_ += entry.second.size();

  std::vector<std::size_t> order(records_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) {
                     return records_[a].micros < records_[b].micros;
                   });
  std::vector<std::ptrdiff_t> moved_to(records_.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    moved_to[order[i]] = static_cast<std::ptrdiff_t>(i);
  }
  std::vector<ListedRecord> sorted;
  sorted.reserve(records_.size());
  for (std::size_t index : order) {
    sorted.push_back(std::move(records_[index]));
    if (sorted.back().partner >= 0) {
      sorted.back().partner =
          moved_to[static_cast<std::size_t>(sorted.back().partner)];
    }
  }
  records_.swap(sorted);
}

std::uint64_t Listing::problems() const {
  return summary_[0].flagged + summary_[1].flagged + unanswered_ + orphans_ +
         cuts_.size();
}

void Listing::PrintText(const ListingFilter& filter) const {
  const std::uint64_t start = records_.empty() ? 0 : records_.front().micros;
  const RecordPrinter printers[2] = {RecordPrinter(Direction::kServerToClient),
                                     RecordPrinter(Direction::kClientToServer)};
  for (const std::string& file : files_) std::printf("== %s\n", file.c_str());
  std::printf("%-12s %s\n", timed_ ? "TIME" : "",
              printers[0].ColumnNames().c_str());
  for (const ListedRecord& listed : records_) {
    if (!filter.Passes(listed.record)) continue;
    char time[32] = "-";
    if (timed_) {
      std::snprintf(time, sizeof time, "+%.6f",
                    static_cast<double>(listed.micros - start) / 1e6);
    }
    std::string line = printers[Side(listed.direction)].Line(listed.record);
    if (IsCall(listed)) {
      line += listed.partner >= 0
                  ? "  answered after " + Milliseconds(listed.latency_us)
                  : "  NEVER ANSWERED";
    } else if (IsAnswer(listed)) {
      line += listed.partner >= 0
                  ? "  answers the call at offset " +
                        std::to_string(
                            records_[static_cast<std::size_t>(listed.partner)]
                                .record.offset)
                  : "  ANSWERS NO CALL";
    }
    std::printf("%-12s %s\n", time, line.c_str());
  }
  for (std::size_t side = 0; side < 2; ++side) {
    std::printf(
        "%s %s\n",
        RecordPrinter::DirectionName(side == 0 ? Direction::kServerToClient
                                               : Direction::kClientToServer),
        printers[side].SummaryLine(summary_[side]).c_str());
  }
  std::printf("calls: %" PRIu64 " never answered, %" PRIu64
              " answers to no call\n",
              unanswered_, orphans_);
  for (const ListedRecord& listed : records_) {
    if (IsCall(listed) && listed.partner < 0) {
      std::printf("  never answered: messageID %" PRIu32 " at offset %" PRIu64
                  "\n",
                  listed.record.message_id, listed.record.offset);
    }
  }
  for (const std::string& cut : cuts_)
    std::printf("truncated: %s\n", cut.c_str());
}

void Listing::PrintJson(const ListingFilter& filter) const {
  const RecordPrinter printers[2] = {RecordPrinter(Direction::kServerToClient),
                                     RecordPrinter(Direction::kClientToServer)};
  for (const ListedRecord& listed : records_) {
    if (!filter.Passes(listed.record)) continue;
    const Record& r = listed.record;
    std::string object =
        "{\"direction\":" +
        JsonString(RecordPrinter::DirectionName(listed.direction)) +
        ",\"time_us\":" + (timed_ ? std::to_string(listed.micros) : "null") +
        ",\"offset\":" + std::to_string(r.offset) +
        ",\"length\":" + std::to_string(r.length);
    if (r.kind == Record::Kind::kSkipped) {
      object += ",\"kind\":\"skipped\"";
    } else {
      object += ",\"kind\":\"package\"";
      const auto field = [&](const char* name, std::size_t end,
                             std::uint64_t value) {
        object += std::string(",\"") + name + "\":" +
                  (r.header_bytes >= end ? std::to_string(value) : "null");
      };
      field("fnc_typ", 2, r.fnc_typ);
      field("message_id", 8, r.message_id);
      field("function_id", 8, r.message_id & 0xFFu);
      field("datasize", 12, r.datasize);
      field("stamp0", qvctx::kTimeStampsOffset + 4, r.first_stamp);
    }
    object += ",\"preview\":" + JsonString(Hex(r.preview));
    const std::string flag = printers[Side(listed.direction)].FlagText(r);
    object += ",\"flag\":" + (flag.empty() ? "null" : JsonString(flag));
    if (IsCall(listed) || IsAnswer(listed)) {
      object += std::string(",\"answered\":") +
                (listed.partner >= 0 ? "true" : "false");
      if (listed.partner >= 0) {
        const Record& other =
            records_[static_cast<std::size_t>(listed.partner)].record;
        object += std::string(IsCall(listed) ? ",\"answer_offset\":"
                                             : ",\"call_offset\":") +
                  std::to_string(other.offset) + ",\"latency_us\":" +
                  (timed_ ? std::to_string(listed.latency_us) : "null");
      }
    }
    std::printf("%s}\n", object.c_str());
  }
  std::string unanswered;
  for (const ListedRecord& listed : records_) {
    if (IsCall(listed) && listed.partner < 0) {
      if (!unanswered.empty()) unanswered += ',';
      unanswered +=
          "{\"message_id\":" + std::to_string(listed.record.message_id) +
          ",\"offset\":" + std::to_string(listed.record.offset) + "}";
    }
  }
  std::string cuts;
  for (const std::string& cut : cuts_) {
    if (!cuts.empty()) cuts += ',';
    cuts += JsonString(cut);
  }
  std::printf(
      "{\"summary\":{\"timed\":%s,\"server_packages\":%" PRIu64
      ",\"server_bytes\":%" PRIu64 ",\"client_packages\":%" PRIu64
      ",\"client_bytes\":%" PRIu64 ",\"flagged\":%" PRIu64
      ",\"answers_to_no_call\":%" PRIu64
      ",\"never_answered\":[%s],\"truncated\":[%s],\"problems\":%" PRIu64
      "}}\n",
      timed_ ? "true" : "false", summary_[0].packages, summary_[0].bytes,
      summary_[1].packages, summary_[1].bytes,
      summary_[0].flagged + summary_[1].flagged, orphans_, unanswered.c_str(),
      cuts.c_str(), problems());
}

}  // namespace qvdump
