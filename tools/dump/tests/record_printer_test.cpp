#include "record_printer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qvdump::Direction;
using qvdump::Flag;
using qvdump::Record;
using qvdump::RecordPrinter;

Record Header(std::uint16_t fnc_typ, std::uint32_t message_id,
              std::uint32_t datasize) {
  Record record;
  record.header_bytes = 34;
  record.length = 34;
  record.fnc_typ = fnc_typ;
  record.magic = 10001;
  record.message_id = message_id;
  record.datasize = datasize;
  return record;
}

TEST(RecordPrinterText, NamesAndTheReadersOwnLogTexts) {
  EXPECT_EQ(RecordPrinter::FncTypName(0), "0 call");
  EXPECT_EQ(RecordPrinter::FncTypName(1), "1 event");
  EXPECT_EQ(RecordPrinter::FncTypName(2), "2 result");
  EXPECT_EQ(RecordPrinter::FncTypName(3), "3 type-3");
  EXPECT_EQ(RecordPrinter::FncTypName(9), "9 unknown");
  EXPECT_STREQ(RecordPrinter::DirectionName(Direction::kServerToClient),
               "server>client");
  EXPECT_STREQ(RecordPrinter::DirectionName(Direction::kClientToServer),
               "client>server");

  const RecordPrinter printer(Direction::kClientToServer);
  Record record = Header(1, 5, 17);
  record.flag = Flag::kInvalidDatasize;
  EXPECT_EQ(printer.FlagText(record),
            "REFUSED \"ServerDataProccesorThread:: INVALID DATASIZE=17 - "
            "buffer cleared\"");
  record = Header(3, 5, 40);
  record.flag = Flag::kInvalidHeader;
  // The logged line ends with a blank; the quotes keep it visible.
  EXPECT_NE(printer.FlagText(record).find(
                "\"ServerDataProccesorThread:: INVALID HEADER \""),
            std::string::npos);
  record.flag = Flag::kIncomplete;
  record.length = 20;
  record.expected = 40;
  EXPECT_EQ(printer.FlagText(record), "incomplete: 20 of 40 bytes");
  record.flag = Flag::kNone;
  EXPECT_EQ(printer.FlagText(record), "");
}

TEST(RecordPrinterText, LinesInColumnsWithUnknownFieldsAsDashes) {
  const RecordPrinter printer(Direction::kServerToClient);
  const std::string names = printer.ColumnNames();
  EXPECT_EQ(names.rfind("OFFSET", 0), 0u);
  const std::size_t flag_column = names.find("FLAG");
  ASSERT_NE(flag_column, std::string::npos);

  Record full = Header(0, 0x1234, 50);
  full.offset = 1000;
  full.first_stamp = 77;
  full.preview = {0x00, 0xab, 0x10};
  full.flag = Flag::kNoAnswer;
  const std::string line = printer.Line(full);
  EXPECT_EQ(line.rfind("1000 ", 0), 0u);
  EXPECT_NE(line.find(" server>client 0 call "), std::string::npos);
  EXPECT_NE(line.find(" 4660 "), std::string::npos);  // messageID
  EXPECT_NE(line.find(" 52 "), std::string::npos);    // its low byte
  EXPECT_NE(line.find(" 50 "), std::string::npos);
  EXPECT_NE(line.find(" 77 "), std::string::npos);
  EXPECT_NE(line.find(" 00 ab 10 "), std::string::npos);
  EXPECT_EQ(line.find("no answer"), flag_column);

  Record cut;
  cut.header_bytes = 9;  // FNCTyp, usMagic and messageID only
  cut.length = 9;
  cut.fnc_typ = 2;
  cut.message_id = 3;
  cut.flag = Flag::kIncomplete;
  cut.expected = 34;
  const std::string cut_line = printer.Line(cut);
  EXPECT_NE(cut_line.find("2 result  3          3    -          -"),
            std::string::npos)
      << cut_line;
  EXPECT_NE(cut_line.find("incomplete: 9 of 34 bytes"), std::string::npos);

  Record clean = Header(0, 1, 34);
  const std::string clean_line = printer.Line(clean);
  ASSERT_FALSE(clean_line.empty());
  EXPECT_NE(clean_line.back(), ' ');

  qvdump::Summary summary;
  summary.packages = 3;
  summary.bytes = 120;
  summary.flagged = 1;
  summary.skipped_bytes = 4;
  EXPECT_EQ(printer.SummaryLine(summary),
            "summary: 3 packages, 120 bytes, 1 flagged, 4 bytes skipped");
}

}  // namespace
