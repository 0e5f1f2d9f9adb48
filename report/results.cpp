#include "report/results.h"

#include <initializer_list>
#include <string>
#include "report/outputfile.h"
#include "textio/fields.h"
#include "textio/freeform.h"
#include "textio/textfield.h"

namespace {

// Labels of the results file as Shift_JIS (code page 932) bytes. A literal is split
// where an ASCII hex digit follows a hex escape, so that the escape ends there.
struct ResultLabels {
  std::string_view FlatRoadTireRadius;  // 平坦路補正用代表タイヤ半径（m）
  std::string_view IdleStopOn;          // アイドルストップ（0:なし，1:あり）
  std::string_view StopDelay;           // エンジン停止までの待ち時間(s)
  std::string_view StartIdleStopOn;     // JE05モード開始時のアイドルストップ（0:なし，1:あり）
  std::string_view StartIdleTime;       // JE05モード開始時のアイドルストップ作動時間(s)
  std::string_view RestartLead;         // 車両発進時のエンジン始動タイミング(s)
  std::string_view Urban;               // 【URBAN】
  std::string_view Highway;             // 【HIGHWAY】
  std::string_view Average;             // 【AVERAGE】
  std::string_view Midtown;             // 【MID-TOWN】
  std::string_view BeforeTransient;     // 　過渡補正前 (ideographic space first)
  std::string_view AfterTransient;      // 　過渡補正後
  std::string_view WithKf;              // 　Kf値考慮
  std::string_view Unnamed;             // blanks around one ideographic space
  std::string_view Transient3;          // 3%補正 (trailing blank)
  std::string_view Kf1;
  std::string_view Kf2;
  std::string_view FuelEconomy;
  std::string_view AverageSpeed;
  std::string_view HighwayRatio;
};

constexpr ResultLabels Label{
    "\x95\xbd\x92\x52\x98\x48\x95\xe2\x90\xb3\x97\x70\x91\xe3\x95\x5c\x83\x5e\x83\x43\x83\x84"
    "\x94\xbc\x8c\x61\x81\x69m\x81\x6a",
    "\x83\x41\x83\x43\x83\x68\x83\x8b\x83\x58\x83\x67\x83\x62\x83\x76\x81\x69"
    "0:\x82\xc8\x82\xb5\x81\x43"
    "1:\x82\xa0\x82\xe8\x81\x6a",
    "\x83\x47\x83\x93\x83\x57\x83\x93\x92\xe2\x8e\x7e\x82\xdc\x82\xc5\x82\xcc\x91\xd2\x82\xbf"
    "\x8e\x9e\x8a\xd4(s)  ",
    "JE05\x83\x82\x81\x5b\x83\x68\x8a\x4a\x8e\x6e\x8e\x9e\x82\xcc\x83\x41\x83\x43\x83\x68\x83\x8b"
    "\x83\x58\x83\x67\x83\x62\x83\x76\x81\x69"
    "0:\x82\xc8\x82\xb5\x81\x43"
    "1:\x82\xa0\x82\xe8\x81\x6a",
    "JE05\x83\x82\x81\x5b\x83\x68\x8a\x4a\x8e\x6e\x8e\x9e\x82\xcc\x83\x41\x83\x43\x83\x68\x83\x8b"
    "\x83\x58\x83\x67\x83\x62\x83\x76\x8d\xec\x93\xae\x8e\x9e\x8a\xd4(s)",
    "\x8e\xd4\x97\xbc\x94\xad\x90\x69\x8e\x9e\x82\xcc\x83\x47\x83\x93\x83\x57\x83\x93\x8e\x6e"
    "\x93\xae\x83\x5e\x83\x43\x83\x7e\x83\x93\x83\x4f(s)",
    "\x81\x79URBAN\x81\x7a",
    "\x81\x79HIGHWAY\x81\x7a",
    "\x81\x79"
    "AVERAGE\x81\x7a",
    "\x81\x79MID-TOWN\x81\x7a",
    "\x81\x40\x89\xdf\x93\x6e\x95\xe2\x90\xb3\x91\x4f    ",
    "\x81\x40\x89\xdf\x93\x6e\x95\xe2\x90\xb3\x8c\xe3    ",
    "\x81\x40Kf\x92\x6c\x8d\x6c\x97\xb6      ",
    "       \x81\x40       ",
    "3%\x95\xe2\x90\xb3 ",
    "Kf1      ",
    "Kf2      ",
    "FC(km/l)",
    "Ave.Speed(km/h)",
    "HIGHWAY RATIO",
};

// Appends one record: the pieces separated by TABs, then the record end.
void RECORD(std::string& file, std::initializer_list<std::string_view> pieces) {
  bool first = true;
  for (std::string_view piece : pieces) {
    if (!first) file += '\t';
    file += piece;
    first = false;
  }
  file += RecordEnd;
}

// Appends a free-form record of one text value (or of none).
void FREE(std::string& file, std::string_view text) {
  file += FREEREC(text);
  file += RecordEnd;
}

// A town block (URBAN or MID-TOWN): the fuel economy [km/l] as simulated with the average
// speed [km/h], after the transient correction, and with Kf1 applied.
void TOWNBLOCK(std::string& file, std::string_view title, double economy, double corrected, double withKf,
               double averageSpeed, double Kf1) {
  FREE(file, "");
  FREE(file, title);
  RECORD(file, {Label.BeforeTransient, Label.FuelEconomy, FMTF(economy, 8, 4), Label.AverageSpeed,
                FMTF(averageSpeed, 5, 1)});
  RECORD(file, {Label.AfterTransient, Label.FuelEconomy, FMTF(corrected, 8, 4), Label.Transient3});
  RECORD(file, {Label.WithKf, Label.FuelEconomy, FMTF(withKf, 8, 4), Label.Kf1, FMTF(Kf1, 8, 6)});
}

}  // namespace

void WRITERES(std::string_view outputName, std::string_view inputName, const SpecValues& values,
              const VehicleSpec& spec, const TransmissionData& trn, const CycleResult& urban,
              const CycleResult& highway, const CycleResult& midtown) {
  const double U = urban.FuelEconomy;       // [km/l]
  const double H = highway.FuelEconomy;     // [km/l]
  const double M = midtown.FuelEconomy;     // [km/l]
  const double h = spec.HighwayRatio;       // [fraction]
  const double U3 = U / 1.03;
  const double M3 = M / 1.03;
  const double UK = values.Kf1 * U3;
  const double MK = values.Kf1 * M3;
  const double HK = H * values.Kf2;
  const double A = 1.0 / ((1.0 - h) / UK + h / HK);

  std::string file;
  file.reserve(2048);
  RECORD(file, {"VEHICLENAME", TRIMMED(values.VehicleName)});
  RECORD(file, {"TYPE", TRIMMED(values.CategoryCode)});
  RECORD(file, {"SPEC FILE", TRIMMED(inputName)});
  RECORD(file, {"ENGINE FILE", TRIMMED(values.EngineFile)});
  RECORD(file, {"TRANSMISSION FILE", TRIMMED(values.TransmissionFile)});
  RECORD(file, {"FINAL GEAR RATIO", FMTF(trn.FinalRatio, 8, 5)});
  RECORD(file, {"TIRE RADIUS(m)", FMTF(spec.TireRadius, 8, 5)});
  RECORD(file, {Label.FlatRoadTireRadius, FMTF(spec.FlatRoadTireRadius, 8, 5)});
  RECORD(file, {Label.IdleStopOn, FMTI(values.IdleStopOn, 2)});
  RECORD(file, {Label.StopDelay, FMTI(values.StopDelay, 2)});
  RECORD(file, {Label.StartIdleStopOn, FMTI(values.StartIdleStopOn, 2)});
  RECORD(file, {Label.StartIdleTime, FMTI(values.StartIdleTime, 2)});
  RECORD(file, {Label.RestartLead, FMTI(values.RestartLead, 2)});

  TOWNBLOCK(file, Label.Urban, U, U3, UK, urban.AverageSpeed, values.Kf1);

  FREE(file, "");
  FREE(file, Label.Highway);
  RECORD(file, {Label.Unnamed, Label.FuelEconomy, FMTF(H, 8, 4), Label.AverageSpeed,
                FMTF(highway.AverageSpeed, 5, 1)});
  RECORD(file, {Label.WithKf, Label.FuelEconomy, FMTF(HK, 8, 4), Label.Kf2, FMTF(values.Kf2, 8, 6)});

  FREE(file, "");
  FREE(file, Label.Average);
  RECORD(file, {Label.Unnamed, Label.FuelEconomy, FMTF(A, 8, 4), Label.HighwayRatio, FMTF(h, 5, 2)});

  TOWNBLOCK(file, Label.Midtown, M, M3, MK, midtown.AverageSpeed, values.Kf1);

  WRITEOUTPUT(outputName, file, WriteMode::Replace);
}
