#include "input/classify.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "input/categories.h"
#include "input/geartable.h"
#include "inputfiles.h"
#include "textio/textfield.h"

namespace hdfe {

namespace {

struct ClassifiedVehicle {
  SpecValues values;
  VehicleSpec spec;
  EngineData eng;
  TransmissionData trn;
  RatioLists ratios;
};

ClassifiedVehicle MakeVehicle(const std::string& code, std::vector<double> mains = {6.0, 3.0, 1.5, 1.0},
                    std::vector<double> auxes = {1.0}, int32_t start_gears = 1) {
  ClassifiedVehicle v;
  v.values.CategoryCode = text_field(code);
  v.values.TransmissionFile = text_field("gearbox.txt");
  v.values.RollAddend = 0.004;
  v.values.AirCoefficient = 0.03;
  v.spec.TireRadius = 0.4;
  v.eng.Nidle = 600.0;
  v.eng.Nrate = 2000.0;
  v.trn.FinalRatio = 4.0;
  v.trn.MainRatioCount = static_cast<int32_t>(mains.size());
  v.trn.AuxRatioCount = static_cast<int32_t>(auxes.size());
  v.ratios.MainRatios = mains;
  v.ratios.AuxRatios = auxes;
  v.ratios.StartGears = start_gears;
  return v;
}

void Classify(ClassifiedVehicle& v) { classify(v.values, v.spec, v.eng, v.trn, v.ratios); }

// The gear table alone, for a given GVW.
ClassifiedVehicle GearsAt(double gvw, int32_t start_gears) {
  ClassifiedVehicle v = MakeVehicle("T1", {6.0, 3.0, 1.5, 1.0}, {1.0}, start_gears);
  v.spec.GVW = gvw;
  build_gear_table(v.values, v.spec, v.eng, v.trn, v.ratios);
  return v;
}

TEST(Classify, TruckWeightsAndCoefficients) {
  ClassifiedVehicle v = MakeVehicle("T1");
  Classify(v);
  EXPECT_EQ(v.spec.GVW, 3744.0);
  EXPECT_DOUBLE_EQ(v.spec.Wtest, 2818.9);
  // The rolling-resistance constants are single-precision values widened.
  EXPECT_EQ(
      v.spec.MuRoll,
      ((static_cast<double>(6.7f) / v.spec.Wtest + static_cast<double>(0.00023f)) + 0.004) * 9.8);
  EXPECT_EQ(v.spec.MuAir, (0.03 * 1.991) * 1.717);
  EXPECT_EQ(v.spec.TireCircumference, 6.28 * 0.4);
  EXPECT_EQ(v.eng.Nes, 670.0);
  EXPECT_EQ(v.eng.Nec, 656.0);
  EXPECT_EQ(v.spec.HighwayRatio, 0.15);
  EXPECT_EQ(v.spec.EngineInertia, 0.27);
}

TEST(Classify, BusWeights) {
  ClassifiedVehicle v = MakeVehicle("B1");
  Classify(v);
  EXPECT_EQ(v.spec.GVW, 5276.0);
  EXPECT_DOUBLE_EQ(v.spec.Wtest, 4638.0);
  EXPECT_EQ(v.spec.MaxPayload, 0.0);
  EXPECT_EQ(v.spec.Crew, 29);
}

TEST(Classify, TableConstants) {
  EXPECT_EQ(Categories[16].Code, "BR4");
  EXPECT_EQ(Categories[16].Height, static_cast<double>(2.969f));
  EXPECT_NE(Categories[16].Height, 2.969);
}

TEST(Classify, CodeIsUpperCasedInPlace) {
  for (const char* code : {"tt1", "Tt1", "TT1"}) {
    ClassifiedVehicle v = MakeVehicle(code);
    Classify(v);
    EXPECT_EQ(v.values.CategoryCode, text_field("TT1")) << code;
    EXPECT_EQ(v.spec.Wcurb, 12300.0) << code;
  }
}

TEST(Classify, WholeFieldMatch) {
  ClassifiedVehicle t1 = MakeVehicle("T1");
  ClassifiedVehicle t10 = MakeVehicle("T10");
  Classify(t1);
  Classify(t10);
  EXPECT_EQ(t1.spec.Wcurb, 2097.0);
  EXPECT_EQ(t10.spec.Wcurb, 8310.0);
}

TEST(Classify, UnknownCodes) {
  for (const char* code : {"T12", "b8", "BR6"}) {
    ClassifiedVehicle v = MakeVehicle(code);
    std::string upper = code;
    for (char& c : upper) c = static_cast<char>(std::toupper(c));
    ExpectStop(StopOf([&] { Classify(v); }), " Category Error : [ " + upper + " ] is not defined.",
               0);
  }
  ClassifiedVehicle lead = MakeVehicle(" t1");
  ExpectStop(StopOf([&] { Classify(lead); }), " Category Error : [  T1 ] is not defined.", 0);
}

TEST(Classify, LightHeavyBoundary) {
  const ClassifiedVehicle light = GearsAt(7999.999, 1);
  const ClassifiedVehicle heavy = GearsAt(8000.0, 1);
  const double light_margin[] = {2.4, 1.7, 1.6, 1.6};
  const double light_f[] = {0.01, 0.04, 0.09, 0.14};
  const double heavy_margin[] = {2.0, 1.7, 1.3, 1.3};
  const double heavy_f[] = {0.01, 0.04, 0.14, 0.22};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(light.trn.Gears[k].TorqueMargin, light_margin[k]) << k;
    EXPECT_EQ(light.eng.GearMinSpeed[k], 600.0 + light_f[k] * 1400.0) << k;
    EXPECT_EQ(heavy.trn.Gears[k].TorqueMargin, heavy_margin[k]) << k;
    EXPECT_EQ(heavy.eng.GearMinSpeed[k], 600.0 + heavy_f[k] * 1400.0) << k;
  }
}

TEST(Classify, StartGearsZeroShiftsPositions) {
  const ClassifiedVehicle v = GearsAt(5000.0, 0);
  const double margin[] = {1.7, 1.6, 1.6, 1.6};
  const double f[] = {0.04, 0.09, 0.14, 0.14};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(v.trn.Gears[k].TorqueMargin, margin[k]) << k;
    EXPECT_EQ(v.eng.GearMinSpeed[k], 600.0 + f[k] * 1400.0) << k;
  }
  EXPECT_EQ(v.trn.StartGears, 0);
}

TEST(Classify, TwoAuxiliaryRatios) {
  ClassifiedVehicle v = MakeVehicle("T8", {4.0, 2.0, 1.0}, {1.25, 1.0}, 1);
  Classify(v);
  ASSERT_EQ(v.trn.GearCount, 6);
  ASSERT_EQ(v.trn.Gears.size(), 6u);
  ASSERT_EQ(v.eng.GearMinSpeed.size(), 6u);
  EXPECT_EQ(v.trn.MaxUpshiftSpan, 6);
  EXPECT_EQ(v.trn.ReengageGear, 3);
  EXPECT_EQ(v.trn.FinalEfficiency, 0.95);
  const double ratio[] = {5.0, 4.0, 2.5, 2.0, 1.25, 1.0};
  for (int k = 0; k < 6; ++k) {
    const GearRow& g = v.trn.Gears[k];
    EXPECT_EQ(g.Ratio, ratio[k]) << k;
    const double J = (1.101 * 4.0) * 4.0;
    EXPECT_EQ(g.DW, ((J * g.Ratio) * g.Ratio) / (0.4 * 0.4) + 0.05 * 4788.0) << k;
  }
  for (int k = 0; k < 6; k += 2) {
    EXPECT_EQ(v.trn.Gears[k].Efficiency, v.trn.Gears[k + 1].Efficiency) << k;
    EXPECT_EQ(v.trn.Gears[k].TorqueMargin, v.trn.Gears[k + 1].TorqueMargin) << k;
    EXPECT_EQ(v.eng.GearMinSpeed[k], v.eng.GearMinSpeed[k + 1]) << k;
  }
  // The main ratio 1.0 gives both of its gears 0.98, whatever the auxiliary ratio.
  EXPECT_EQ(v.trn.Gears[4].Efficiency, 0.98);
  EXPECT_EQ(v.trn.Gears[1].Efficiency, 0.95);

  ClassifiedVehicle at = MakeVehicle("T8", {4.0, 2.0, 1.0}, {1.25, 1.0}, 1);
  at.trn.TransmissionKind = 1;
  Classify(at);
  EXPECT_EQ(at.trn.ReengageGear, 1);
}

TEST(Classify, EfficiencyNeedsExactlyOne) {
  ClassifiedVehicle v = MakeVehicle("T1", {1.0001, 1.0});
  Classify(v);
  EXPECT_EQ(v.trn.Gears[0].Efficiency, 0.95);
  EXPECT_EQ(v.trn.Gears[1].Efficiency, 0.98);
}

TEST(Classify, NoGearsWithoutRatios) {
  ClassifiedVehicle none = MakeVehicle("T1", {6.0, 3.0}, {});
  none.trn.AuxRatioCount = 0;
  Classify(none);
  EXPECT_EQ(none.trn.GearCount, 0);
  EXPECT_TRUE(none.trn.Gears.empty());
  EXPECT_TRUE(none.eng.GearMinSpeed.empty());
  EXPECT_EQ(none.trn.ReengageGear, 1);
  EXPECT_EQ(none.trn.MaxUpshiftSpan, 0);

  // Two negative counts must not make a positive gear count out of empty lists.
  ClassifiedVehicle negative = MakeVehicle("T1", {}, {});
  negative.trn.MainRatioCount = -2;
  negative.trn.AuxRatioCount = -3;
  Classify(negative);
  EXPECT_EQ(negative.trn.GearCount, 0);
  EXPECT_TRUE(negative.trn.Gears.empty());
  EXPECT_EQ(negative.trn.MaxUpshiftSpan, -9);
}

TEST(Classify, GearCountBeyond32BitsStops) {
  ClassifiedVehicle v = MakeVehicle("T1", std::vector<double>(46341, 2.0), std::vector<double>(46341, 1.0));
  ExpectStop(StopOf([&] { Classify(v); }), " Gear count out of range [ gearbox.txt ]", 0);
}

}  // namespace

}  // namespace hdfe
