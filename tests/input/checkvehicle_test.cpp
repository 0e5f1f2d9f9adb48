// The whole-vehicle check: what it must let through, and the limits it enforces. The
// rejections themselves, with their messages, are runs of the bad-input corpus.
#include "model/checkvehicle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "model/classify.h"
#include "model/geartable.h"
#include "io/readcurves.h"
#include "inputfiles.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

struct CheckedVehicle {
  SpecValues values;
  VehicleSpec spec;
  EngineData eng;
  EngineInput files;
  TransmissionData trn;
  TransmissionInput ratios;
  TorqueCurve fullLoad{{600.0, 1400.0, 2200.0}, {500.0, 900.0, 700.0}};
  TorqueCurve motoring{{600.0, 2200.0}, {-40.0, -100.0}};
  FuelMap map{0.6, {600.0, 600.0, 1400.0, 1400.0}, {0.0, 400.0, 0.0, 800.0}, {0.6, 6.0, 1.5, 20.0}};
};

// A light truck with a four-speed box, classified.
CheckedVehicle MakeVehicle(std::vector<double> mains = {6.0, 3.0, 1.5, 1.0}, std::vector<double> auxes = {1.0},
                    int32_t startGears = 1, int32_t kind = 0) {
  CheckedVehicle v;
  v.values.category_code = text_field("T1");
  v.values.engine_file = text_field("engine.txt");
  v.values.transmission_file = text_field("gearbox.txt");
  v.files.full_load_file = text_field("full.txt");
  v.files.motoring_file = text_field("motoring.txt");
  v.files.fuel_map_file = text_field("map.txt");
  v.values.roll_addend = 0.004;
  v.values.air_coefficient = 0.03;
  v.spec.tire_radius_m = 0.4;
  v.eng.idle_speed_rpm = 600.0;
  v.eng.rated_speed_rpm = 2000.0;
  v.eng.max_speed_rpm = 2400.0;
  v.trn.final_ratio = 4.0;
  v.trn.type = kind == 1 ? TransmissionType::TorqueConverter : TransmissionType::Manual;
  v.ratios.main_ratios = mains;
  v.ratios.aux_ratios = auxes;
  v.ratios.start_gears = startGears;
  classify(v.values, v.spec, v.eng, v.trn, v.ratios);
  return v;
}

void Check(const CheckedVehicle& v) {
  check_vehicle("spec.txt", v.values, v.spec, v.eng, v.files, v.trn, v.ratios, v.fullLoad, v.motoring, v.map);
}

TEST(CheckVehicle, LetsThroughWhatTheRunHandles) {
  EXPECT_NO_THROW(Check(MakeVehicle()));
  EXPECT_NO_THROW(Check(MakeVehicle({6.0, 3.0, 1.5, 1.0}, {1.0}, 4)));  // StartGears = GearCount
  EXPECT_NO_THROW(Check(MakeVehicle({1.0}, {1.0}, 1, 1)));  // one gear, re-engaged in gear 1
  EXPECT_NO_THROW(Check(MakeVehicle({5.0, 1.0}, {1.0}, 1)));  // ReengageGear 2 = GearCount
  CheckedVehicle v = MakeVehicle();
  // Nrate equal to Nidle only makes the normalised engine speed of the trace non-finite.
  v.eng.rated_speed_rpm = v.eng.idle_speed_rpm;
  v.spec.flat_road_tire_radius_m = -0.999;
  v.eng.idle_speed_rpm = -100.0;  // negative speeds are read as they stand
  // Equal speeds inside a curve never make an interval of zero length.
  v.fullLoad = TorqueCurve{{600.0, 1400.0, 1400.0, 2200.0}, {500.0, 900.0, 950.0, 700.0}};
  // A single speed line reaches the grid, whose interpolation reports it.
  v.map = FuelMap{0.6, {600.0}, {100.0}, {2.0}};
  EXPECT_NO_THROW(Check(v));
}

TEST(CheckVehicle, GearTableIsBoundedBeforeItIsBuilt) {
  const std::vector<double> mains9(9, 2.0), mains10(10, 2.0), auxes10(10, 1.0), auxes11(11, 1.0);
  EXPECT_EQ(MakeVehicle(mains9, auxes11).trn.gear_count(), 99);
  ExpectStop(StopOf([&] { MakeVehicle(mains10, auxes10); }), "Gear count out of range [ gearbox.txt ]", ErrorKind::VehicleCheck);
}

// Speed lines of one point each, and one line of `longest` points at the highest speed.
FuelMap MapOfLines(int32_t lines, int32_t longest) {
  FuelMap map;
  for (int32_t L = 0; L < lines; ++L) {
    const int32_t points = L == lines - 1 ? longest : 1;
    for (int32_t p = 0; p < points; ++p) {
      map.speeds_rpm.push_back(600.0 + L);
      map.torques_nm.push_back(10.0 * p);
      map.fuel_rates_l_per_h.push_back(1.0);
    }
  }
  return map;
}

TEST(CheckVehicle, FuelMapIsBoundedByItsPointsNotItsShape) {
  CheckedVehicle v = MakeVehicle();
  v.map = MapOfLines(5793, 5792);  // many lines and one long line: tables of one entry per point and line
  EXPECT_NO_THROW(Check(v));
  v.map = MapOfLines(MaxMapPoints + 1, 1);
  ExpectStop(StopOf([&] { Check(v); }),
             "Fuel map file [ map.txt ] holds more than 1000000 points, the most the program takes", ErrorKind::Limit);
}

TEST(CheckVehicle, DerivedValuesMustBeFinite) {
  CheckedVehicle v = MakeVehicle({1e200, 1.0});
  const std::string gear1 = "Transmission file [ gearbox.txt ] with spec file [ spec.txt ] gives gear 1";
  ExpectStop(StopOf([&] { Check(v); }), gear1 + " a non-finite DW", ErrorKind::VehicleCheck);
  v = MakeVehicle({1e-200, 1.0});
  v.trn.final_ratio = 1e-200;  // a total ratio that underflows to 0
  ExpectStop(StopOf([&] { Check(v); }), gear1 + " a total ratio out of range", ErrorKind::VehicleCheck);
}

// A curve or map with several faults stops at its first point at fault, whatever the kind
// of fault, in whichever column.
TEST(CheckVehicle, ColumnsStopAtTheirFirstFaultyPoint) {
  const std::string full = "Torque data file [ full.txt ] point ";
  const std::string map = "Fuel map file [ map.txt ] point ";
  CheckedVehicle v = MakeVehicle();
  v.fullLoad = TorqueCurve{{600.0, 1400.0, 1000.0, 2200.0}, {500.0, 900.0, 950.0, INFINITY}};
  ExpectStop(StopOf([&] { Check(v); }), full + "3 at speed 1000 comes after a higher speed: points must be sorted by speed",
             ErrorKind::VehicleCheck);
  v.fullLoad = TorqueCurve{{600.0, 1400.0, 1000.0, 2200.0}, {500.0, NAN, 950.0, 700.0}};
  ExpectStop(StopOf([&] { Check(v); }), full + "2 is not a pair of finite numbers", ErrorKind::VehicleCheck);
  v = MakeVehicle();
  v.map.fuel_rates_l_per_h[3] = -INFINITY;
  ExpectStop(StopOf([&] { Check(v); }), map + "4 is not a pair of finite numbers", ErrorKind::VehicleCheck);
  v.map.speeds_rpm[1] = NAN;
  ExpectStop(StopOf([&] { Check(v); }), map + "2 is not a pair of finite numbers", ErrorKind::VehicleCheck);
}

}  // namespace

}  // namespace hdfe
