#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include "run/figures.h"
#include "hdfe/report.h"
#include "tests/report/scratch.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

// Converts between UTF-8 and code page 932 with the C library's converter.
std::string Convert(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
  std::string in = text;
  std::string out(text.size() * 4 + 16, '\0');
  char* src = in.data();
  char* dst = out.data();
  std::size_t srcLeft = in.size();
  std::size_t dstLeft = out.size();
  const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return "<invalid>";
  out.resize(out.size() - dstLeft);
  return out;
}
std::string Sjis(const std::string& utf8) { return Convert(utf8, "CP932", "UTF-8"); }
std::string Utf8(const std::string& sjis) { return Convert(sjis, "UTF-8", "CP932"); }

struct ResultsInput {
  SpecValues values;
  VehicleSpec spec;
  TransmissionData trn;
  bool converter = false;
  CycleResult urban{27.3, 5.0};
  CycleResult highway{80.0, 6.0};
  CycleResult midtown{1000.0, 4.0};
  ResultsInput() {
    values.vehicle_name = text_field("Test truck  A");
    values.category_code = text_field("T8");
    values.engine_file = text_field("engine.txt");
    values.transmission_file = text_field("trans.txt");
    values.idle_stop_on = 0;
    values.stop_delay_s = 999;
    values.start_idle_stop_on = 1;
    values.start_idle_time_s = 10;
    values.restart_lead_s = 1;
    values.kf1 = 0.96;
    values.kf2 = 1.0;
    spec.tire_radius_m = 0.455;
    spec.flat_road_tire_radius_m = 0.4209;
    spec.highway_ratio = 0.45;
    trn.final_ratio = 4.18;
  }
};

// The results file of a run whose sections averaged as given.
std::string Write(const ResultsInput& in) {
  Result result;
  result.classification.values = in.values;
  result.classification.spec = in.spec;
  result.classification.transmission = in.trn;
  const CycleResult* averages[] = {&in.urban, &in.highway, &in.midtown};
  std::size_t k = 0;
  for (const SectionDefinition& section : reported_sections()) {
    result.cycles.push_back(section_figures(section, *averages[k++], in.converter, in.values.kf1, in.values.kf2));
  }
  result.highway_ratio = in.spec.highway_ratio;
  result.average_fuel_economy_km_per_l = average_economy(result.cycle("URBAN").fuel_economy_km_per_l,
                                                         result.cycle("HIGHWAY").fuel_economy_km_per_l,
                                                         result.highway_ratio);
  return results_text(result, "spec.txt");
}

// The file that ResultsInput gives: U 5.0 (U3 4.8544, UK 4.6602), H 6.0, M 4.0,
// A = 1 / (0.55 / UK + 0.45 / HK) = 5.1808; StopDelay 999 overflows I2, the mid-town
// speed of 1000 overflows F5.1.
std::string ExpectedFile() {
  const std::string text =
      "VEHICLENAME\tTest truck  A\r\n"
      "TYPE\tT8\r\n"
      "SPEC FILE\tspec.txt\r\n"
      "ENGINE FILE\tengine.txt\r\n"
      "TRANSMISSION FILE\ttrans.txt\r\n"
      "FINAL GEAR RATIO\t 4.18000\r\n"
      "TIRE RADIUS(m)\t 0.45500\r\n"
      "平坦路補正用代表タイヤ半径（m）\t 0.42090\r\n"
      "アイドルストップ（0:なし，1:あり）\t 0\r\n"
      "エンジン停止までの待ち時間(s)  \t**\r\n"
      "JE05モード開始時のアイドルストップ（0:なし，1:あり）\t 1\r\n"
      "JE05モード開始時のアイドルストップ作動時間(s)\t10\r\n"
      "車両発進時のエンジン始動タイミング(s)\t 1\r\n"
      " \r\n"
      " 【URBAN】\r\n"
      "　過渡補正前    \tFC(km/l)\t  5.0000\tAve.Speed(km/h)\t 27.3\r\n"
      "　過渡補正後    \tFC(km/l)\t  4.8544\t3%補正 \r\n"
      "　Kf値考慮      \tFC(km/l)\t  4.6602\tKf1      \t0.960000\r\n"
      " \r\n"
      " 【HIGHWAY】\r\n"
      "       　       \tFC(km/l)\t  6.0000\tAve.Speed(km/h)\t 80.0\r\n"
      "　Kf値考慮      \tFC(km/l)\t  6.0000\tKf2      \t1.000000\r\n"
      " \r\n"
      " 【AVERAGE】\r\n"
      "       　       \tFC(km/l)\t  5.1808\tHIGHWAY RATIO\t 0.45\r\n"
      " \r\n"
      " 【MID-TOWN】\r\n"
      "　過渡補正前    \tFC(km/l)\t  4.0000\tAve.Speed(km/h)\t*****\r\n"
      "　過渡補正後    \tFC(km/l)\t  3.8835\t3%補正 \r\n"
      "　Kf値考慮      \tFC(km/l)\t  3.7282\tKf1      \t0.960000\r\n";
  return Sjis(text);
}

TEST(Results, WholeFileByteForByte) {
  const std::string file = Write(ResultsInput{});
  EXPECT_EQ(file, ExpectedFile());
  EXPECT_EQ(Records(file).size(), 30u);
}

TEST(Results, JapaneseLabelsDecodeAsCodePage932WithTheirByteLengths) {
  const auto records = Records(Write(ResultsInput{}));
  ASSERT_EQ(records.size(), 30u);
  struct Case {
    std::size_t record;  // 1-based
    const char* utf8;
    std::size_t bytes;
  };
  const Case cases[] = {
      {8, "平坦路補正用代表タイヤ半径（m）", 31},
      {9, "アイドルストップ（0:なし，1:あり）", 34},
      {10, "エンジン停止までの待ち時間(s)  ", 31},
      {11, "JE05モード開始時のアイドルストップ（0:なし，1:あり）", 52},
      {12, "JE05モード開始時のアイドルストップ作動時間(s)", 45},
      {13, "車両発進時のエンジン始動タイミング(s)", 37},
      {16, "　過渡補正前    ", 16},
      {17, "　過渡補正後    ", 16},
      {18, "　Kf値考慮      ", 16},
      {21, "       　       ", 16},
  };
  for (const Case& c : cases) {
    const std::string& record = records[c.record - 1];
    const std::string label = record.substr(0, record.find('\t'));
    EXPECT_EQ(label.size(), c.bytes) << "record " << c.record;
    EXPECT_EQ(Utf8(label), c.utf8) << "record " << c.record;
  }
  const Case heads[] = {{15, "【URBAN】", 9}, {20, "【HIGHWAY】", 11},
                        {24, "【AVERAGE】", 11}, {27, "【MID-TOWN】", 12}};
  for (const Case& c : heads) {
    const std::string& record = records[c.record - 1];
    ASSERT_EQ(record.substr(0, 1), " ") << "record " << c.record;
    EXPECT_EQ(record.size() - 1, c.bytes) << "record " << c.record;
    EXPECT_EQ(Utf8(record.substr(1)), c.utf8) << "record " << c.record;
  }
  const std::string& r17 = records[16];
  const std::string tail = r17.substr(r17.rfind('\t') + 1);
  EXPECT_EQ(tail.size(), 7u);
  EXPECT_EQ(Utf8(tail), "3%補正 ");
}

// The harmonic mean with weight 0 or 1 reduces to one of the corrected values.
TEST(Results, AverageOfRouteBusIsCorrectedUrbanAndOfPureHighwayIsCorrectedHighway) {
  ResultsInput in;
  in.urban.fuel_economy_km_per_l = 5.3086;
  in.highway.fuel_economy_km_per_l = 7.1234;
  in.values.kf1 = 0.97;
  in.values.kf2 = 1.02;
  auto numberOf = [](const std::string& record) {
    const auto fc = record.find("FC(km/l)\t") + 9;
    return record.substr(fc, 8);
  };
  in.spec.highway_ratio = 0.0;
  auto records = Records(Write(in));
  ASSERT_EQ(records.size(), 30u);
  EXPECT_EQ(numberOf(records[24]), numberOf(records[17]));
  EXPECT_EQ(numberOf(records[17]), "  4.9994");
  EXPECT_NE(records[24].find("HIGHWAY RATIO\t 0.00"), std::string::npos);

  in.spec.highway_ratio = 1.0;
  records = Records(Write(in));
  ASSERT_EQ(records.size(), 30u);
  EXPECT_EQ(numberOf(records[24]), numberOf(records[21]));
  EXPECT_EQ(numberOf(records[21]), "  7.2659");
}

}  // namespace

}  // namespace hdfe
