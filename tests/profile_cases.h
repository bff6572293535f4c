// INI cases that both builds must read alike: on Windows the real profile
// functions read them, on Linux the library's own reader. config_tests runs
// the configuration files through the loaded library and its banner;
// unit_tests runs the numbers through the profile reader itself.
#ifndef QVCTX_TESTS_PROFILE_CASES_H_
#define QVCTX_TESTS_PROFILE_CASES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qvctx_test {

// A configuration file and the settings the library must take from it.
struct ConfigCase {
  const char* name;          // what the case shows
  std::string file;          // the file's bytes
  std::uint16_t port;        // uiPort
  std::string ip;            // hostIpAddress
  std::int32_t log_append;   // logAppend
  std::int32_t log_len_max;  // iLogMax
};

inline std::vector<ConfigCase> ConfigCases() {
  using namespace std::string_literals;
  const std::string a300(300, 'a');
  const std::string b255(255, 'b');
  const std::string c254(254, 'c');
  return {
      {"every key, CR LF line ends",
       "[server]\r\nport=1234\r\nip=10.0.0.7\r\n[common]\r\nlogEnabled=1\r\n"
       "logLevel=2\r\nlogAppend=0\r\nlogLenMax=4096\r\nlogFile=x.log\r\n",
       1234, "10.0.0.7", 0, 4096},
      {"empty file", "", 8888, "127.0.0.1", 1, 2048},
      {"names in any case", "[SERVER]\nPort=1\nIP=h\n[Common]\nLOGLENMAX=7\n",
       1, "h", 1, 7},
      {"blanks around names and values",
       "  [ server ]  \n\t port \t=\t 2 \t\n ip =  a b \v\f\n[common]\n"
       "logLenMax = 3\n",
       2, "a b", 1, 3},
      {"comment lines", "[server]\n;port=5\n  ; ip=x\nport=6\n", 6, "127.0.0.1",
       1, 2048},
      {"no comments behind a value", "[server]\nip=a ; b\n", 8888, "a ; b", 1,
       2048},
      {"'=' inside a value", "[server]\nip=a=b\n", 8888, "a=b", 1, 2048},
      {"first entry of a key wins",
       "[server]\nport=7\nport=8\nip=one\nip=two\n", 7, "one", 1, 2048},
      {"a first empty entry wins", "[server]\nip=\nip=two\nport=\nport=9\n",
       8888, "", 1, 2048},
      {"a first entry without '=' wins", "[server]\nport\nport=9\nip\nip=x\n",
       8888, "127.0.0.1", 1, 2048},
      {"only the first section of a name counts",
       "[server]\nport=10\n[common]\n[Server]\nip=late\n", 10, "127.0.0.1", 1,
       2048},
      {"keys of another section", "[other]\nport=11\n[server]\n", 8888,
       "127.0.0.1", 1, 2048},
      {"keys before any section", "port=12\nip=x\n", 8888, "127.0.0.1", 1,
       2048},
      {"no final line end", "[server]\nport=13", 13, "127.0.0.1", 1, 2048},
      {"lone CR line ends", "[server]\rport=14\rip=cr\r[common]\rlogLenMax=1",
       14, "cr", 1, 1},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF[server]\r\nport=15\r\n", 15,
       "127.0.0.1", 1, 2048},
      {"text behind a section header", "[server] x=1\nport=16\n", 16,
       "127.0.0.1", 1, 2048},
      {"a header without ']' is no header",
       "[server]\nport=17\n[common\nlogLenMax=5\n", 17, "127.0.0.1", 1, 2048},
      {"a NUL ends the line's text", "[server]\nip=ab\0cd\nport=18\n"s, 18,
       "ab", 1, 2048},
      {"port keeps its low 16 bits", "[server]\nport=70000\n", 4464,
       "127.0.0.1", 1, 2048},
      {"negative port", "[server]\nport=-1\n", 65535, "127.0.0.1", 1, 2048},
      {"signs", "[server]\nport=+80\n[common]\nlogLenMax=-123\nlogAppend=- 5\n",
       80, "127.0.0.1", 0, -123},
      {"leading blanks and trailing text",
       "[server]\nport=  42abc\n[common]\nlogLenMax=12 34\nlogAppend=1e3\n", 42,
       "127.0.0.1", 1, 12},
      {"text that is no number",
       "[server]\nport=abc\n[common]\nlogLenMax=+-5\nlogAppend=--5\n", 0,
       "127.0.0.1", 0, 0},
      {"hexadecimal, octal and binary prefixes",
       "[server]\nport=0x10\n[common]\nlogLenMax=0o17\nlogAppend=0b101\n", 16,
       "127.0.0.1", 5, 15},
      {"prefixes in upper case are no prefixes",
       "[server]\nport=0X10\n[common]\nlogLenMax=0B1\nlogAppend=010\n", 0,
       "127.0.0.1", 10, 0},
      {"hexadecimal ends at its first non-digit",
       "[server]\nport=0xfg\n[common]\nlogLenMax=-0x10\nlogAppend=0x-10\n", 15,
       "127.0.0.1", 0, -16},
      {"values above 32 bits wrap",
       "[server]\nport=4294967297\n[common]\nlogLenMax=99999999999\n"
       "logAppend=2147483648\n",
       1, "127.0.0.1", INT32_MIN, 1215752191},
      {"only the first 29 characters of a number count",
       "[common]\nlogLenMax=0000000000000000000000000000001\n"
       "logAppend=123456789012345678901234567890123\n",
       8888, "127.0.0.1", 1849262357, 0},
      {"quoted numbers",
       "[server]\nport=\"55\"\n[common]\nlogLenMax='-66'\nlogAppend=\"77\n", 55,
       "127.0.0.1", 0, -66},
      {"empty values take the default",
       "[server]\nport=\n[common]\nlogLenMax=\"\"\nlogAppend=   \n", 8888,
       "127.0.0.1", 1, 2048},
      {"quoted blanks are no number", "[common]\nlogLenMax=\"  \"\n", 8888,
       "127.0.0.1", 1, 0},
      {"control characters in front of a number",
       "[common]\nlogLenMax=\x01\x1f"
       "42\n",
       8888, "127.0.0.1", 1, 42},
      {"quoted text loses its quotes", "[server]\nip=\" 10.0.0.1 \"\n", 8888,
       " 10.0.0.1 ", 1, 2048},
      {"single quotes too", "[server]\nip='x'\n", 8888, "x", 1, 2048},
      {"mismatched quotes stay", "[server]\nip=\"x'\n", 8888, "\"x'", 1, 2048},
      {"a lone quote stays", "[server]\nip=\"\n", 8888, "\"", 1, 2048},
      {"an ip of 300 characters is cut to 255", "[server]\nip=" + a300 + "\n",
       8888, a300.substr(0, 255), 1, 2048},
      {"a quoted ip of 300 characters is cut to 255",
       "[server]\nip=\"" + a300 + "\"\n", 8888, a300.substr(0, 255), 1, 2048},
      {"a quoted ip of exactly 255 characters loses its last",
       "[server]\nip=\"" + b255 + "\"\n", 8888, b255.substr(0, 254), 1, 2048},
      {"a quoted ip of 254 characters stays whole",
       "[server]\nip=\"" + c254 + "\"\n", 8888, c254, 1, 2048},
  };
}

// A configuration file and the wait in each read the reader takes from its
// "readWaitMs": 1 to 1000 ms, anything else none.
struct ReadWaitCase {
  const char* file;
  std::uint32_t wait_ms;
};

inline constexpr ReadWaitCase kReadWaitCases[] = {
    {"[common]\nlogLenMax=5\n", 0},
    {"[common]\nreadWaitMs=0\n", 0},
    {"[common]\nreadWaitMs=1\n", 1},
    {"[common]\r\n READWAITMS = 50 \r\n", 50},
    {"[common]\nreadWaitMs=1000\n", 1000},
    {"[common]\nreadWaitMs=1001\n", 0},
    {"[common]\nreadWaitMs=-1\n", 0},
    {"[common]\nreadWaitMs=0x20\n", 32},
    {"[common]\nreadWaitMs=\"7\"\n", 7},
    {"[common]\nreadWaitMs=4294967297\n", 1},
    {"[common]\nreadWaitMs=soon\n", 0},
    {"[server]\nreadWaitMs=50\n", 0},
};

// A value of key "k" in section "s", read as a number with the default 777.
struct NumberCase {
  const char* value;
  std::uint32_t expected;
};

inline constexpr NumberCase kNumberCases[] = {
    {"123", 123},
    {"+123", 123},
    {"-123", 4294967173U},
    {"  42", 42},
    {"\t42", 42},
    {"\x01"
     "42",
     42},
    {"42abc", 42},
    {"12 34", 12},
    {"1e3", 1},
    {"abc", 0},
    {"+", 0},
    {"-", 0},
    {"- 5", 0},
    {"+-5", 0},
    {"--5", 0},
    {"0x10", 16},
    {"+0x10", 16},
    {"0xFFFFFFFF", 4294967295U},
    {"0X10", 0},
    {"0xfg", 15},
    {"0x", 0},
    {"-0x10", 4294967280U},
    {"0x-10", 0},
    {"00x10", 0},
    {"0o17", 15},
    {"0o8", 0},
    {"0b101", 5},
    {"0B1", 0},
    {"010", 10},
    {"0009", 9},
    {"-0", 0},
    {"4294967295", 4294967295U},
    {"4294967296", 0},
    {"4294967297", 1},
    {"2147483648", 2147483648U},
    {"-2147483648", 2147483648U},
    {"-2147483649", 2147483647},
    {"-4294967295", 1},
    {"99999999999", 1215752191},
    {"0xffffffffff", 4294967295U},
    {"18446744073709551616", 0},
    {"1234567890123456789012345678", 3191403342U},
    {"12345678901234567890123456789", 1849262357},
    {"123456789012345678901234567890123", 1849262357},
    {"0000000000000000000000000000001", 0},
    {"\"55\"", 55},
    {"'66'", 66},
    {"\"77", 0},
    {"\"-5\"", 4294967291U},
    {"\" 12\"", 12},
    {"\"  \"", 0},
    {"\"1234567890123456789012345678\"", 3191403342U},
    {"\"                           7\"", 7},
    {"\"                            7\"", 0},
    {"\"\"", 777},
    {"", 777},
    {"   ", 777},
};

}  // namespace qvctx_test

#endif  // QVCTX_TESTS_PROFILE_CASES_H_
