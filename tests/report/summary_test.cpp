#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include "hdfe/report.h"
#include "tests/report/scratch.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

struct SummaryInput {
  SpecValues values;
  VehicleSpec spec;
  EngineData eng;
  TransmissionData trn;
};

std::vector<std::string> Summary(const SummaryInput& v) {
  return Records(vehicle_summary(v.values, v.spec, v.eng, v.trn));
}

// A city bus filled with the values its summary prints; each prints back unchanged.
SummaryInput CityBus() {
  SummaryInput v;
  v.values.vehicle_name = text_field("VECTO generic city bus 220kW 7.7l AT6 serial");
  v.values.category_code = text_field("BR4");
  v.spec = {.mu_air = 0.196762, .mu_roll = 0.053948, .tire_radius_m = 0.4209, .width_m = 2.385,
            .height_m = 2.969, .curb_weight_kg = 8654.0, .test_weight_kg = 10136.25, .gross_weight_kg = 12889.0,
            .highway_ratio = 0.0, .crew = 77};
  v.eng = {.max_speed_rpm = 2500.0, .rated_speed_rpm = 2200.0, .idle_speed_rpm = 600.0, .engage_speed_rpm = 680.0, .release_speed_rpm = 664.0, .gear_min_speed_rpm = {}};
  v.trn.type = TransmissionType::TorqueConverter;
  v.trn.final_ratio = 6.2;
  v.trn.final_efficiency = 0.95;
  v.trn.gears = {{3.4, 0.95, 2.0, 3193.0512},  {1.9, 0.95, 1.7, 1294.71279},
                 {1.42, 0.95, 1.3, 914.18548}, {1.0, 0.98, 1.3, 671.48471},
                 {0.7, 0.95, 1.3, 549.70451},  {0.62, 0.95, 1.3, 524.48884}};
  return v;
}

TEST(Summary, WholeBusSummaryLineForLine) {
  const std::vector<std::string> expected = {
      " ----------------------------------------------------------",
      " Vehicle Name    : VECTO generic city bus 220kW 7.7l AT6 serial",
      " Vehicle type  : BUS",
      " Category      : BR4",
      " Transmission  : Torque Converter AT",
      " HIGHWAY RATIO : .00 [%]",
      " ",
      " ----------------------------------------------------------",
      " GVW =12889.00[kg]",
      " Wcurb = 8654.00[kg], Wtest =10136.25[kg]",
      " Width =   2.385[m],  Height=   2.969[m], Tire radius=   0.421[m]",
      " Crew = 77",
      " ",
      " Nidle =  600.00[rpm], Nrate = 2200.00[rpm], Nex  = 2500.00[rpm]",
      " Nes   =  680.00[rpm], Nec   =  664.00[rpm]",
      " MuAir =  0.196762 [N/(km/h)^2]",
      " MuRoll =  0.053948 [N/kg]",
      " ",
      " NUMBER OF GEAR =  6",
      " GEAR   RATIO  EFFICIENCY  TORQ MARGIN    DW[kg]",
      "   1:    3.400     0.950       2.000     3193.05120",
      "   2:    1.900     0.950       1.700     1294.71279",
      "   3:    1.420     0.950       1.300      914.18548",
      "   4:    1.000     0.980       1.300      671.48471",
      "   5:    0.700     0.950       1.300      549.70451",
      "   6:    0.620     0.950       1.300      524.48884",
      " FIN:    6.200     0.950",
      " ",
  };
  EXPECT_EQ(Summary(CityBus()), expected);  // Records() also checks every CR LF
}

TEST(Summary, SampleLinesFillTheirFieldsExactly) {
  SummaryInput v = CityBus();
  v.spec.highway_ratio = 0.3;
  v.spec.gross_weight_kg = 25000.0;
  v.spec.crew = 2;
  v.trn.gears = {{6.5, 0.95, 1.2, 123.456}};
  const auto lines = Summary(v);
  ASSERT_EQ(lines.size(), 23u);
  EXPECT_EQ(lines[5], " HIGHWAY RATIO : 30.00 [%]");
  EXPECT_EQ(lines[8], " GVW =25000.00[kg]");
  EXPECT_EQ(lines[11], " Crew =  2");
  EXPECT_EQ(lines[20], "   1:    6.500     0.950       1.200      123.45600");
}

TEST(Summary, OverflowTypeAndTransmissionVariants) {
  SummaryInput v = CityBus();
  v.values.category_code = text_field("T3");
  v.trn.type = TransmissionType::Manual;
  v.spec.gross_weight_kg = 100000.0;
  auto lines = Summary(v);
  ASSERT_EQ(lines.size(), 28u);
  EXPECT_EQ(lines[2], " Vehicle type  : TRUCK");
  EXPECT_EQ(lines[3], " Category      : T3");
  EXPECT_EQ(lines[4], " Transmission  : MT, AMT");
  EXPECT_EQ(lines[8], " GVW =********[kg]");

  v.trn.gears.clear();  // no gear lines between the header and the final drive
  lines = Summary(v);
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_EQ(lines[18], " NUMBER OF GEAR =  0");
  EXPECT_EQ(lines[20], " FIN:    6.200     0.950");
}

}  // namespace

}  // namespace hdfe
