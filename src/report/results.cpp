#include "hdfe/report.h"
#include "report/trace.h"

#include <initializer_list>
#include <string>
#include "io/fields.h"
#include "hdfe/freeform.h"
#include "hdfe/textfield.h"

namespace hdfe {

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
void tab_record(std::string& file, std::initializer_list<std::string_view> pieces) {
  bool first = true;
  for (std::string_view piece : pieces) {
    if (!first) file += '\t';
    file += piece;
    first = false;
  }
  file += RecordEnd;
}

// Appends a free-form record of one text value (or of none).
void free_line(std::string& file, std::string_view text) {
  file += free_record(text);
  file += RecordEnd;
}

// A town block (URBAN or MID-TOWN): the fuel economy [km/l] as simulated with the average
// speed [km/h], after the transient correction, and with Kf1 applied.
void town_block(std::string& file, std::string_view title, const CycleFigures& town) {
  free_line(file, "");
  free_line(file, title);
  tab_record(file, {Label.BeforeTransient, Label.FuelEconomy, format_f(town.fuel_economy_before_transient_km_per_l, 8, 4),
                    Label.AverageSpeed, format_f(town.average_speed_km_per_h, 5, 1)});
  tab_record(file, {Label.AfterTransient, Label.FuelEconomy, format_f(town.fuel_economy_after_transient_km_per_l, 8, 4),
                    Label.Transient3});
  tab_record(file, {Label.WithKf, Label.FuelEconomy, format_f(town.fuel_economy_after_kf_km_per_l, 8, 4), Label.Kf1,
                    format_f(town.kf, 8, 6)});
}

}  // namespace

std::string results_text(const Result& result, std::string_view inputName) {
  const SpecValues& values = result.classification.values;
  const VehicleSpec& spec = result.classification.spec;
  const TransmissionData& trn = result.classification.transmission;
  const CycleFigures& urban = result.cycle("URBAN");
  const CycleFigures& highway = result.cycle("HIGHWAY");
  const CycleFigures& midtown = result.cycle("MID-TOWN");
  const double h = result.highway_ratio;  // [fraction]

  std::string file;
  file.reserve(2048);
  tab_record(file, {"VEHICLENAME", trimmed(values.vehicle_name)});
  tab_record(file, {"TYPE", trimmed(values.category_code)});
  tab_record(file, {"SPEC FILE", trimmed(inputName)});
  tab_record(file, {"ENGINE FILE", trimmed(values.engine_file)});
  tab_record(file, {"TRANSMISSION FILE", trimmed(values.transmission_file)});
  tab_record(file, {"FINAL GEAR RATIO", format_f(trn.final_ratio, 8, 5)});
  tab_record(file, {"TIRE RADIUS(m)", format_f(spec.tire_radius_m, 8, 5)});
  tab_record(file, {Label.FlatRoadTireRadius, format_f(spec.flat_road_tire_radius_m, 8, 5)});
  tab_record(file, {Label.IdleStopOn, format_i(values.idle_stop_on, 2)});
  tab_record(file, {Label.StopDelay, format_i(values.stop_delay_s, 2)});
  tab_record(file, {Label.StartIdleStopOn, format_i(values.start_idle_stop_on, 2)});
  tab_record(file, {Label.StartIdleTime, format_i(values.start_idle_time_s, 2)});
  tab_record(file, {Label.RestartLead, format_i(values.restart_lead_s, 2)});

  town_block(file, Label.Urban, urban);

  free_line(file, "");
  free_line(file, Label.Highway);
  tab_record(file, {Label.Unnamed, Label.FuelEconomy, format_f(highway.fuel_economy_before_transient_km_per_l, 8, 4), Label.AverageSpeed,
                format_f(highway.average_speed_km_per_h, 5, 1)});
  tab_record(file, {Label.WithKf, Label.FuelEconomy, format_f(highway.fuel_economy_after_kf_km_per_l, 8, 4), Label.Kf2, format_f(highway.kf, 8, 6)});

  free_line(file, "");
  free_line(file, Label.Average);
  tab_record(file, {Label.Unnamed, Label.FuelEconomy, format_f(result.average_fuel_economy_km_per_l, 8, 4), Label.HighwayRatio, format_f(h, 5, 2)});

  town_block(file, Label.Midtown, midtown);
  return file;
}

std::string results_file(const Result& result, std::string_view inputName) {
  std::string file = results_text(result, inputName);
  if (result.classification.values.traces == 1) {
    std::size_t bytes = file.size();
    for (const CycleRun& run : result.traces) bytes += trace_block_bytes(run.cycle, run.name);
    file.reserve(bytes);
    for (const CycleRun& run : result.traces) append_trace(file, run.cycle, run.trace, run.name);
  }
  return file;
}

}  // namespace hdfe
