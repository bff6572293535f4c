// RecordPrinter: the text lines qvctx-dump prints for a decoded stream.
#ifndef QVCTX_TOOLS_DUMP_RECORD_PRINTER_H_
#define QVCTX_TOOLS_DUMP_RECORD_PRINTER_H_

#include <string>

#include "stream_record.h"

namespace qvdump {

// Formats one line per record in fixed columns (offset, direction, FNCTyp,
// messageID, function id, datasize, first time stamp, payload preview, flag),
// with the column names above them and the counts below. Fields the stream
// does not hold show as "-"; lines carry no trailing blanks.
class RecordPrinter {
 public:
  explicit RecordPrinter(Direction direction) : direction_(direction) {}
  RecordPrinter(const RecordPrinter&) = delete;
  RecordPrinter& operator=(const RecordPrinter&) = delete;

  // "server>client" or "client>server".
  static const char* DirectionName(Direction direction);
  // The number and the name of a function type: "1 event".
  static std::string FncTypName(unsigned int fnc_typ);

  std::string ColumnNames() const;
  std::string Line(const Record& record) const;
  // What the receiving end makes of the record; empty when nothing is
  // unusual.
  std::string FlagText(const Record& record) const;
  std::string SummaryLine(const Summary& summary) const;

 private:
  const Direction direction_;
};

}  // namespace qvdump

#endif  // QVCTX_TOOLS_DUMP_RECORD_PRINTER_H_
