#include "record_printer.h"

#include <cinttypes>
#include <cstdio>

#include "protocol/wire_format.h"

namespace qvdump {

namespace {

// Column widths; the flag, last, has none.
constexpr std::size_t kWidths[] = {11, 13, 9, 10, 4, 10, 10, 47};

std::string Number(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%" PRIu64, value);
  return text;
}

// `value` when the field ends within the header bytes the stream holds.
std::string Field(const Record& record, std::size_t field_end,
                  std::uint64_t value) {
  return record.header_bytes >= field_end ? Number(value) : "-";
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%s%02x", text.empty() ? "" : " ", byte);
    text += pair;
  }
  return text;
}

std::string Columns(const std::string& offset, const char* direction,
                    const std::string& fnc_typ, const std::string& message_id,
                    const std::string& function_id, const std::string& datasize,
                    const std::string& stamp, const std::string& payload,
                    const std::string& flag) {
  const std::string cells[] = {offset,      direction, fnc_typ, message_id,
                               function_id, datasize,  stamp,   payload};
  std::string line;
  for (std::size_t i = 0; i < sizeof kWidths / sizeof kWidths[0]; ++i) {
    line += cells[i];
    if (cells[i].size() < kWidths[i]) {
      line.append(kWidths[i] - cells[i].size(), ' ');
    }
    line += ' ';
  }
  line += flag;
  line.erase(line.find_last_not_of(' ') + 1);
  return line;
}

}  // namespace

const char* RecordPrinter::DirectionName(Direction direction) {
  return direction == Direction::kServerToClient ? "server>client"
                                                 : "client>server";
}

std::string RecordPrinter::FncTypName(unsigned int fnc_typ) {
  static const char* const kNames[] = {"call", "event", "result", "type-3"};
  const char* name =
      fnc_typ <= qvctx::kHighestFncTyp ? kNames[fnc_typ] : "unknown";
  return Number(fnc_typ) + " " + name;
}

std::string RecordPrinter::ColumnNames() const {
  return Columns("OFFSET", "DIRECTION", "FNCTYP", "MESSAGEID", "FUNC",
                 "DATASIZE", "STAMP0", "PAYLOAD", "FLAG");
}

std::string RecordPrinter::Line(const Record& record) const {
  const std::string offset = Number(record.offset);
  const char* direction = DirectionName(direction_);
  if (record.kind == Record::Kind::kSkipped) {
    return Columns(offset, direction, "-", "-", "-", "-", "-",
                   Hex(record.preview), FlagText(record));
  }
  const std::string fnc_typ =
      record.header_bytes >= 2 ? FncTypName(record.fnc_typ) : "-";
  return Columns(
      offset, direction, fnc_typ, Field(record, 8, record.message_id),
      Field(record, 8, record.message_id & 0xFFu),
      Field(record, 12, record.datasize),
      Field(record, qvctx::kTimeStampsOffset + 4, record.first_stamp),
      Hex(record.preview), FlagText(record));
}

std::string RecordPrinter::FlagText(const Record& record) const {
  switch (record.flag) {
    case Flag::kNone:
      return "";
    case Flag::kRefusedNotHeader:
      return Number(record.length) +
             " bytes skipped: REFUSED not a header: held at the front until "
             "the buffer overflows and is emptied";
    case Flag::kUnframed:
      return Number(record.length) +
             " bytes skipped: unframed: the client skips them one byte at a "
             "time";
    case Flag::kInvalidDatasize:
      return "REFUSED \"ServerDataProccesorThread:: INVALID DATASIZE=" +
             Number(record.datasize) + " - buffer cleared\"";
    case Flag::kNeverCompletes:
      return "REFUSED datasize above " + Number(qvctx::kReaderLargestPackage) +
             ": can never complete in the reader's buffer, held until it "
             "overflows and is emptied";
    case Flag::kInvalidHeader:
      return "INVALID HEADER \"ServerDataProccesorThread:: INVALID HEADER \": "
             "consumed without a callback";
    case Flag::kUnframedDatasize:
      return "unframed: datasize outside " + Number(qvctx::kPackageHeadSize) +
             ".." + Number(qvctx::kShiftBufferCapacity) +
             ", the client skips these bytes one at a time";
    case Flag::kUnusualType:
      return "unusual: FNCTyp " + Number(record.fnc_typ) +
             " from the server, the client consumes it without an answer";
    case Flag::kNoAnswer:
      return "no answer: the client answers no call with messageID 0";
    case Flag::kIncomplete:
      return "incomplete: " + Number(record.length) + " of " +
             Number(record.expected) + " bytes";
  }
  return "";
}

std::string RecordPrinter::SummaryLine(const Summary& summary) const {
  return "summary: " + Number(summary.packages) + " packages, " +
         Number(summary.bytes) + " bytes, " + Number(summary.flagged) +
         " flagged, " + Number(summary.skipped_bytes) + " bytes skipped";
}

}  // namespace qvdump
