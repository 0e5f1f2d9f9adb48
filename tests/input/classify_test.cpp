#include "model/classify.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "model/categories.h"
#include "model/geartable.h"
#include "inputfiles.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

struct ClassifiedVehicle {
  SpecValues values;
  VehicleSpec spec;
  EngineData eng;
  TransmissionData trn;
  TransmissionInput ratios;
};

ClassifiedVehicle MakeVehicle(const std::string& code, std::vector<double> mains = {6.0, 3.0, 1.5, 1.0},
                    std::vector<double> auxes = {1.0}, int32_t start_gears = 1) {
  ClassifiedVehicle v;
  v.values.category_code = text_field(code);
  v.values.transmission_file = text_field("gearbox.txt");
  v.values.roll_addend = 0.004;
  v.values.air_coefficient = 0.03;
  v.spec.tire_radius_m = 0.4;
  v.eng.idle_speed_rpm = 600.0;
  v.eng.rated_speed_rpm = 2000.0;
  v.trn.final_ratio = 4.0;
  v.ratios.main_ratios = mains;
  v.ratios.aux_ratios = auxes;
  v.ratios.start_gears = start_gears;
  return v;
}

void Classify(ClassifiedVehicle& v) { classify(v.values, v.spec, v.eng, v.trn, v.ratios); }

// The gear table alone, for a given GVW.
ClassifiedVehicle GearsAt(double gvw, int32_t start_gears) {
  ClassifiedVehicle v = MakeVehicle("T1", {6.0, 3.0, 1.5, 1.0}, {1.0}, start_gears);
  v.spec.gross_weight_kg = gvw;
  build_gear_table(v.values, v.spec, v.eng, v.trn, v.ratios);
  return v;
}

TEST(Classify, TruckWeightsAndCoefficients) {
  ClassifiedVehicle v = MakeVehicle("T1");
  Classify(v);
  EXPECT_EQ(v.spec.gross_weight_kg, 3744.0);
  EXPECT_DOUBLE_EQ(v.spec.test_weight_kg, 2818.9);
  // The rolling-resistance constants are single-precision values widened.
  EXPECT_EQ(
      v.spec.mu_roll,
      ((static_cast<double>(6.7f) / v.spec.test_weight_kg + static_cast<double>(0.00023f)) + 0.004) * 9.8);
  EXPECT_EQ(v.spec.mu_air, (0.03 * 1.991) * 1.717);
  EXPECT_EQ(v.spec.tire_circumference_m, 6.28 * 0.4);
  EXPECT_EQ(v.eng.engage_speed_rpm, 670.0);
  EXPECT_EQ(v.eng.release_speed_rpm, 656.0);
  EXPECT_EQ(v.spec.highway_ratio, 0.15);
  EXPECT_EQ(v.spec.engine_inertia_kg_m2, 0.27);
}

TEST(Classify, BusWeights) {
  ClassifiedVehicle v = MakeVehicle("B1");
  Classify(v);
  EXPECT_EQ(v.spec.gross_weight_kg, 5276.0);
  EXPECT_DOUBLE_EQ(v.spec.test_weight_kg, 4638.0);
  EXPECT_EQ(v.spec.max_payload_kg, 0.0);
  EXPECT_EQ(v.spec.crew, 29);
}

// Each engineering value replaces what the category gives, and only that: the gear table's
// rotating masses and GVW stay the category's.
TEST(Classify, EngineeringValuesReplaceTheStandardVehicle) {
  ClassifiedVehicle standard = MakeVehicle("T1");
  Classify(standard);
  const auto classified = [](const std::string& code, auto edit) {
    ClassifiedVehicle v = MakeVehicle(code);
    edit(v.values);
    Classify(v);
    return v;
  };
  const auto muRoll = [](double weight) {
    return ((static_cast<double>(6.7f) / weight + static_cast<double>(0.00023f)) + 0.004) * 9.8;
  };

  const ClassifiedVehicle heavy = classified("T1", [](SpecValues& s) { s.test_mass_kg = 5000.0; });
  EXPECT_EQ(heavy.spec.test_weight_kg, 5000.0);
  EXPECT_EQ(heavy.spec.mu_roll, muRoll(5000.0));
  EXPECT_EQ(heavy.spec.mu_air, standard.spec.mu_air);
  EXPECT_EQ(heavy.spec.gross_weight_kg, standard.spec.gross_weight_kg);
  ASSERT_EQ(heavy.trn.gears.size(), standard.trn.gears.size());
  for (std::size_t k = 0; k < heavy.trn.gears.size(); ++k) {
    EXPECT_EQ(heavy.trn.gears[k].rotating_mass_kg, standard.trn.gears[k].rotating_mass_kg) << k;
    EXPECT_EQ(heavy.trn.gears[k].torque_margin, standard.trn.gears[k].torque_margin) << k;
  }
  EXPECT_EQ(payload_kg(heavy.values, heavy.spec), 5000.0 - (2097.0 + 55.0));

  // Payload alone: the curb weight, a driver for a truck, and the payload.
  const ClassifiedVehicle loaded = classified("T1", [](SpecValues& s) { s.payload_kg = 1000.0; });
  EXPECT_EQ(loaded.spec.test_weight_kg, (2097.0 + 55.0) + 1000.0);
  EXPECT_EQ(loaded.spec.mu_roll, muRoll(3152.0));
  EXPECT_EQ(payload_kg(loaded.values, loaded.spec), 1000.0);
  const ClassifiedVehicle bus = classified("B1", [](SpecValues& s) { s.payload_kg = 500.0; });
  EXPECT_EQ(bus.spec.test_weight_kg, 3681.0 + 500.0);
  // TestMass wins over Payload for the mass; Payload stays the payload of g/t·km.
  const ClassifiedVehicle both = classified("T1", [](SpecValues& s) {
    s.test_mass_kg = 4000.0;
    s.payload_kg = 300.0;
  });
  EXPECT_EQ(both.spec.test_weight_kg, 4000.0);
  EXPECT_EQ(payload_kg(both.values, both.spec), 300.0);
  // A test mass below the empty truck carries nothing.
  const ClassifiedVehicle light = classified("T1", [](SpecValues& s) { s.test_mass_kg = 2000.0; });
  EXPECT_EQ(payload_kg(light.values, light.spec), 0.0);
  const ClassifiedVehicle lightBus = classified("B1", [](SpecValues& s) { s.test_mass_kg = 4000.0; });
  EXPECT_EQ(payload_kg(lightBus.values, lightBus.spec), 4000.0 - 3681.0);
  // The standard loads.
  EXPECT_EQ(payload_kg(standard.values, standard.spec), 1482.0 * 0.45);
  ClassifiedVehicle standardBus = MakeVehicle("B1");
  Classify(standardBus);
  EXPECT_EQ(payload_kg(standardBus.values, standardBus.spec), (29 * 55.0) * 0.6);

  // RollingResistance replaces the formula and RollAddend, whatever the mass.
  const ClassifiedVehicle rolling = classified("T1", [](SpecValues& s) {
    s.rolling_resistance = 0.006;
    s.test_mass_kg = 5000.0;
  });
  EXPECT_EQ(rolling.spec.mu_roll, 0.006 * 9.8);
  // FrontalArea replaces height times width; CdA wins over both and the air coefficient.
  const ClassifiedVehicle area = classified("T1", [](SpecValues& s) { s.frontal_area_m2 = 6.0; });
  EXPECT_EQ(area.spec.mu_air, 0.03 * 6.0);
  EXPECT_EQ(area.spec.mu_roll, standard.spec.mu_roll);
  const ClassifiedVehicle drag = classified("T1", [](SpecValues& s) {
    s.frontal_area_m2 = 6.0;
    s.cda_m2 = 5.0;
  });
  EXPECT_EQ(drag.spec.mu_air, ((0.5 * 1.2) * 5.0) / 12.96);
  EXPECT_EQ(drag.spec.test_weight_kg, standard.spec.test_weight_kg);
}

TEST(Classify, TableConstants) {
  EXPECT_EQ(Categories[16].code, "BR4");
  EXPECT_EQ(Categories[16].height_m, static_cast<double>(2.969f));
  EXPECT_NE(Categories[16].height_m, 2.969);
}

TEST(Classify, CodeIsUpperCasedInPlace) {
  for (const char* code : {"tt1", "Tt1", "TT1"}) {
    ClassifiedVehicle v = MakeVehicle(code);
    Classify(v);
    EXPECT_EQ(v.values.category_code, text_field("TT1")) << code;
    EXPECT_EQ(v.spec.curb_weight_kg, 12300.0) << code;
  }
}

TEST(Classify, WholeFieldMatch) {
  ClassifiedVehicle t1 = MakeVehicle("T1");
  ClassifiedVehicle t10 = MakeVehicle("T10");
  Classify(t1);
  Classify(t10);
  EXPECT_EQ(t1.spec.curb_weight_kg, 2097.0);
  EXPECT_EQ(t10.spec.curb_weight_kg, 8310.0);
}

TEST(Classify, UnknownCodes) {
  for (const char* code : {"T12", "b8", "BR6"}) {
    ClassifiedVehicle v = MakeVehicle(code);
    std::string upper = code;
    for (char& c : upper) c = static_cast<char>(std::toupper(c));
    ExpectStop(StopOf([&] { Classify(v); }), "Category Error : [ " + upper + " ] is not defined.", ErrorKind::UnknownCategory);
  }
  ClassifiedVehicle lead = MakeVehicle(" t1");
  ExpectStop(StopOf([&] { Classify(lead); }), "Category Error : [  T1 ] is not defined.", ErrorKind::UnknownCategory);
}

TEST(Classify, LightHeavyBoundary) {
  const ClassifiedVehicle light = GearsAt(7999.999, 1);
  const ClassifiedVehicle heavy = GearsAt(8000.0, 1);
  const double light_margin[] = {2.4, 1.7, 1.6, 1.6};
  const double light_f[] = {0.01, 0.04, 0.09, 0.14};
  const double heavy_margin[] = {2.0, 1.7, 1.3, 1.3};
  const double heavy_f[] = {0.01, 0.04, 0.14, 0.22};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(light.trn.gears[k].torque_margin, light_margin[k]) << k;
    EXPECT_EQ(light.eng.gear_min_speed_rpm[k], 600.0 + light_f[k] * 1400.0) << k;
    EXPECT_EQ(heavy.trn.gears[k].torque_margin, heavy_margin[k]) << k;
    EXPECT_EQ(heavy.eng.gear_min_speed_rpm[k], 600.0 + heavy_f[k] * 1400.0) << k;
  }
}

TEST(Classify, StartGearsZeroShiftsPositions) {
  const ClassifiedVehicle v = GearsAt(5000.0, 0);
  const double margin[] = {1.7, 1.6, 1.6, 1.6};
  const double f[] = {0.04, 0.09, 0.14, 0.14};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(v.trn.gears[k].torque_margin, margin[k]) << k;
    EXPECT_EQ(v.eng.gear_min_speed_rpm[k], 600.0 + f[k] * 1400.0) << k;
  }
  EXPECT_EQ(v.trn.start_gears, 0);
}

TEST(Classify, TwoAuxiliaryRatios) {
  ClassifiedVehicle v = MakeVehicle("T8", {4.0, 2.0, 1.0}, {1.25, 1.0}, 1);
  Classify(v);
  ASSERT_EQ(v.trn.gear_count(), 6);
  ASSERT_EQ(v.trn.gears.size(), 6u);
  ASSERT_EQ(v.eng.gear_min_speed_rpm.size(), 6u);
  EXPECT_EQ(v.trn.max_upshift_span, 6);
  EXPECT_EQ(v.trn.reengage_gear, 3);
  EXPECT_EQ(v.trn.final_efficiency, 0.95);
  const double ratio[] = {5.0, 4.0, 2.5, 2.0, 1.25, 1.0};
  for (int k = 0; k < 6; ++k) {
    const GearRow& g = v.trn.gears[k];
    EXPECT_EQ(g.ratio, ratio[k]) << k;
    const double J = (1.101 * 4.0) * 4.0;
    EXPECT_EQ(g.rotating_mass_kg, ((J * g.ratio) * g.ratio) / (0.4 * 0.4) + 0.05 * 4788.0) << k;
  }
  for (int k = 0; k < 6; k += 2) {
    EXPECT_EQ(v.trn.gears[k].efficiency, v.trn.gears[k + 1].efficiency) << k;
    EXPECT_EQ(v.trn.gears[k].torque_margin, v.trn.gears[k + 1].torque_margin) << k;
    EXPECT_EQ(v.eng.gear_min_speed_rpm[k], v.eng.gear_min_speed_rpm[k + 1]) << k;
  }
  // The main ratio 1.0 gives both of its gears 0.98, whatever the auxiliary ratio.
  EXPECT_EQ(v.trn.gears[4].efficiency, 0.98);
  EXPECT_EQ(v.trn.gears[1].efficiency, 0.95);

  ClassifiedVehicle at = MakeVehicle("T8", {4.0, 2.0, 1.0}, {1.25, 1.0}, 1);
  at.trn.type = TransmissionType::TorqueConverter;
  Classify(at);
  EXPECT_EQ(at.trn.reengage_gear, 1);
}

TEST(Classify, EfficiencyNeedsExactlyOne) {
  ClassifiedVehicle v = MakeVehicle("T1", {1.0001, 1.0});
  Classify(v);
  EXPECT_EQ(v.trn.gears[0].efficiency, 0.95);
  EXPECT_EQ(v.trn.gears[1].efficiency, 0.98);
}

TEST(Classify, NoGearsWithoutRatios) {
  ClassifiedVehicle none = MakeVehicle("T1", {6.0, 3.0}, {});
  Classify(none);
  EXPECT_EQ(none.trn.gear_count(), 0);
  EXPECT_TRUE(none.trn.gears.empty());
  EXPECT_TRUE(none.eng.gear_min_speed_rpm.empty());
  EXPECT_EQ(none.trn.reengage_gear, 1);
  EXPECT_EQ(none.trn.max_upshift_span, 0);

  ClassifiedVehicle empty = MakeVehicle("T1", {}, {});
  Classify(empty);
  EXPECT_EQ(empty.trn.gear_count(), 0);
  EXPECT_TRUE(empty.trn.gears.empty());
  EXPECT_EQ(empty.trn.max_upshift_span, 0);
}

TEST(Classify, GearCountBeyond32BitsStops) {
  ClassifiedVehicle v = MakeVehicle("T1", std::vector<double>(46341, 2.0), std::vector<double>(46341, 1.0));
  ExpectStop(StopOf([&] { Classify(v); }), "Gear count out of range [ gearbox.txt ]", ErrorKind::VehicleCheck);
}

}  // namespace

}  // namespace hdfe
