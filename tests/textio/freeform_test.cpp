#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <sstream>
#include <vector>

#include "hdfe/freeform.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

// Runs the reads of a plan ("RI;T": reals, integers, texts; reads split by ';') over
// the input, the variables starting at -1 or "old". Each read renders as its outcome
// letter (D, E, B, L for a text too long) and its values joined by '|', and the line
// reached ends the rendering after a '@'.
std::string run_reads(RecordInput& in, const std::string& plan) {
  std::string out;
  for (std::size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
    end = plan.find(';', start);
    const std::string kinds = plan.substr(start, end == std::string::npos ? end : end - start);
    std::vector<double> reals(kinds.size(), -1);
    std::vector<int32_t> ints(kinds.size(), -1);
    std::vector<std::string> texts(kinds.size(), text_field("old"));
    std::vector<ReadTarget> list;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      list.push_back(kinds[i] == 'R' ? real_var(reals[i]) : kinds[i] == 'I' ? int_var(ints[i]) : text_var(texts[i]));
    }
    if (start) out += ';';
    out += "DEBL"[static_cast<int>(read_free(in, list))];
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      char number[32];
      std::snprintf(number, sizeof number, "%.17g", kinds[i] == 'R' ? reals[i] : ints[i]);
      if (i) out += '|';
      out += kinds[i] == 'T' ? std::string(trimmed(texts[i])) : std::string(number);
    }
  }
  return out + '@' + std::to_string(in.line);
}

// run_reads over the input as a stream; the same input held in memory must read the same.
std::string run_program(const std::string& input, const std::string& plan) {
  std::istringstream stream(input);
  RecordInput fromStream;
  fromStream.stream = &stream;
  RecordInput fromText;
  fromText.text = input;
  std::string out = run_reads(fromStream, plan);
  EXPECT_EQ(run_reads(fromText, plan), out) << "held in memory: " << input.substr(0, 80);
  return out.substr(0, out.rfind('@'));
}

TEST(FreeForm, Reads) {
  const struct {
    const char *input, *plan, *expected;
  } cases[] = {
      {"1.5,2.0/9\n", "RRR", "D1.5|2|-1"}, {"1 2 3\n4\n", "RR;R", "D1|2;D4"}, {"1\r\n2\r\n3\r", "R;R;R;R", "D1;D2;D3;E-1"},
      {"\n  \n\t\n5\n", "R", "D5"}, {"1\t2 ,\t3 , \n 4\n", "RRRR", "D1|2|3|4"}, {"", "R", "E-1"},
      {"1 2\n", "RRR", "E1|2|-1"}, {",2, ,4\n", "RRRR", "D-1|2|-1|4"}, {"1,\n,3\n1,\n3\n", "RRR;RR", "D1|-1|3;D1|3"},
      {"3*0.0\n", "RRR", "D0|0|0"}, {"2*,7\n", "RRR", "D-1|-1|7"}, {"1 2* 3\n", "RRRR", "D1|-1|-1|3"},
      {"2*5\n", "RI", "D5|5"}, {"0*5\n", "R", "B-1"}, {"2*'a b' *5 a*b\n", "TTTT", "Da b|a b|*5|a*b"},
      {"1.5D3 1.5d-3 1.5+3 1.5-3 -2E2 .5 5. +7\n", "RRRRRRRR", "D1500|0.0015|1500|0.0015|-200|0.5|5|7"},
      {"0.1 4.9e-324 1e-400 1.7976931348623157e308\n", "RRRR",
       "D0.10000000000000001|4.9406564584124654e-324|0|1.7976931348623157e+308"},
      {"-2147483648 2147483647 +5 007\n", "IIII", "D-2147483648|2147483647|5|7"},
      {"1.0\n1e3\n2147483648\n-2147483649\n-\n", "I;I;I;I;I", "B-1;B-1;B-1;B-1;B-1"},
      {"abc\n1.5abc\nNaN\nInf\n1e999\n1.5E+\n.\n0x10\n'1'\n", "R;R;R;R;R;R;R;R;R", "B-1;B-1;B-1;B-1;B-1;B-1;B-1;B-1;B-1"},
      {"abc def\n'Truck A' x\n", "T;T", "Dabc;DTruck A"}, {"'It''s a\nb c' x\nnext\n", "T;T", "DIt's ab c;Dnext"},
      {"\"say \"\"hi\"\"\" \"it's\" ''\n", "TTT", "Dsay \"hi\"|it's|"}, {"a/b,c\n1.5 -3\n", "TT;TT", "Da|old;D1.5|-3"},
      {"'abc'x\n", "T", "Bold"}, {"'abc\ndef\n", "T", "Eold"},
      // Records of plain decimals, read in one scan, and the records next to them that are not.
      {" 3\t-4.25 +.5 x\n", "RRR", "D3|-4.25|0.5"}, {"1 2 3 4 5\n", "RRRRR", "D1|2|3|4|5"},
      {"1 2x\n", "RR", "B1|-1"}, {"1 2,3\n", "RR", "D1|2"}, {"1,,2\n", "RR", "D1|-1"}, {"1 2*3\n", "RRR", "D1|3|3"},
      {"1 /\n", "RR", "D1|-1"}, {"1 \n2\n", "RR", "D1|2"}, {"1 2e1\n", "RR", "D1|20"}, {"1 2\n", "RI", "D1|2"},
      {"1 1234567890123456\n", "RR", "D1|1234567890123456"}, {"1 2.5.\n", "RR", "B1|-1"}, {"- 2\n", "RR", "B-1|-1"},
      // Characters next to the digits: ':' follows '9', '/' precedes '0', and a byte above 0x7F.
      {"19 2:\n", "RR", "B19|-1"}, {"10 2.0\xB5\n", "RR", "B10|-1"}, {"90 -0.5/\n", "RR", "D90|-0.5"}};
  for (const auto& c : cases) EXPECT_EQ(run_program(c.input, c.plan), c.expected) << c.input;
}

// The pieces joined.
std::string Cat(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text.append(piece);
  return text;
}

TEST(FreeForm, ValuesLongerThanTheFieldAreKeptToTheFieldAndReported) {
  const std::string name(2000, 'n');
  const std::string_view field = std::string_view(name).substr(0, 1024);
  const std::string_view less = field.substr(0, 1023);
  const std::string blanks(50, ' ');
  EXPECT_EQ(run_program(name, "T"), Cat({"L", field}));
  EXPECT_EQ(run_program(Cat({field, " 1"}), "TR"), Cat({"D", field, "|1"}));
  EXPECT_EQ(run_program(Cat({field, "n 1"}), "TR"), Cat({"L", field, "|-1"}));
  // Quoted: a doubled delimiter is one character, a record end adds none, and blanks past
  // the field are not a cut.
  EXPECT_EQ(run_program(Cat({"'", less, "''x'"}), "T"), Cat({"L", less, "'"}));
  EXPECT_EQ(run_program(Cat({"'", less, "'''"}), "T"), Cat({"D", less, "'"}));
  EXPECT_EQ(run_program(Cat({"'", field.substr(0, 1000), "\n", field.substr(0, 24), "'"}), "T"), Cat({"D", field}));
  EXPECT_EQ(run_program(Cat({"'", field, blanks, "'"}), "T"), Cat({"D", field}));
  EXPECT_EQ(run_program(Cat({"'", field, blanks, "x'"}), "T"), Cat({"L", field}));
}

TEST(FreeForm, NeverReadsPastTheRecordItNeeds) {
  for (const char* input : {"a b\nrest\n", "'a\nb'\nrest\n", "\n\na,\nrest\n"}) {
    std::istringstream stream(input);
    RecordInput in;
    in.stream = &stream;
    std::string text, rest;
    const ReadTarget list[] = {text_var(text)};
    ASSERT_EQ(read_free(in, list), ReadStatus::Done) << input;
    std::getline(stream, rest);
    EXPECT_EQ(rest, "rest") << input;
  }
}

TEST(FreeForm, HostileInputEndsTheRead) {
  const std::string big(10'000'000, '7');
  EXPECT_EQ(run_program(std::string("\0\x01\xff 2\n1\0 2", 11), "R;RI"), "B-1;B-1|-1");
  EXPECT_EQ(run_program(big + "\n0." + big + "e-9999999", "R;R"), "B-1;D0");
  EXPECT_EQ(run_program(std::string(10'000'000, ' ') + "5", "R"), "D5");
  EXPECT_EQ(run_program("'" + big, "T"), "Eold");
}

TEST(FreeForm, HeaderAndOutputRecords) {
  std::istringstream stream("Head one\r\n\n");
  RecordInput fromStream;
  fromStream.stream = &stream;
  RecordInput fromText;
  fromText.text = "Head one\r\n\n";
  for (RecordInput* in : {&fromStream, &fromText}) {
    std::string line;
    EXPECT_EQ(read_record(*in, line), ReadStatus::Done);
    EXPECT_EQ(line, "Head one");
    EXPECT_EQ(read_record(*in, line), ReadStatus::Done);
    EXPECT_EQ(line, "");
    EXPECT_EQ(read_record(*in, line), ReadStatus::End);
    EXPECT_EQ(in->line, 2);
  }
  EXPECT_EQ(free_record(""), " ");
  EXPECT_EQ(free_record("n=", -3), " n=          -3");
}

TEST(TextField, CutPadTrim) {
  EXPECT_EQ(text_field("ab"), "ab" + std::string(1022, ' '));
  EXPECT_EQ(text_field(std::string(2000, 'x')), std::string(1024, 'x'));
  EXPECT_EQ(trimmed(" a b \t  "), " a b \t");
  // Trailing blanks of every count, before a character at every place, as find_last_not_of cuts.
  for (std::size_t size = 0; size <= 40; ++size) {
    for (std::size_t at = 0; at <= size; ++at) {
      std::string field(size, ' ');
      if (at < size) field[at] = at % 2 ? 'x' : '\t';
      const std::size_t last = field.find_last_not_of(' ');
      EXPECT_EQ(trimmed(field), last == std::string::npos ? "" : field.substr(0, last + 1)) << size << ' ' << at;
    }
  }
  EXPECT_EQ(trimmed(text_field("Truck A")), "Truck A");
  EXPECT_TRUE(is_blank(""));
  EXPECT_FALSE(is_blank("  .  "));
}

}  // namespace

}  // namespace hdfe
