#include "sim/hermite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "hdfe/error.h"

namespace hdfe {

namespace {

struct Table {
  std::vector<double> x, f, d;
  int32_t ierr = 99;
};

Table Fit(std::vector<double> x, std::vector<double> f) {
  Table t{std::move(x), std::move(f), {}};
  t.d.assign(t.x.size(), 0.0);
  hermite_derivatives(static_cast<int32_t>(t.x.size()), t.x.data(), t.f.data(), t.d.data(), 1, t.ierr);
  return t;
}

std::vector<double> Eval(const Table& t, const std::vector<double>& xe, int32_t& ierr) {
  std::vector<double> fe(xe.size(), 0.0);
  bool skip = true;
  hermite_evaluate(static_cast<int32_t>(t.x.size()), t.x.data(), t.f.data(), t.d.data(), 1, skip,
         static_cast<int32_t>(xe.size()), xe.data(), fe.data(), ierr);
  return fe;
}

// Independent transcription of the derivative formulas, 0-based, no shared helpers.
std::vector<double> ReferenceDerivs(const std::vector<double>& x, const std::vector<double>& f) {
  const auto sg = [](double a, double b) {
    return (a == 0 || b == 0) ? 0.0 : (a < 0 ? -1.0 : 1.0) * (b < 0 ? -1.0 : 1.0);
  };
  const size_t n = x.size();
  std::vector<double> d(n);
  std::vector<double> h(n - 1), del(n - 1);
  for (size_t i = 0; i + 1 < n; ++i) {
    h[i] = x[i + 1] - x[i];
    del[i] = (f[i + 1] - f[i]) / h[i];
  }
  double hs = h[0] + h[1];
  d[0] = ((h[0] + hs) / hs) * del[0] + (-h[0] / hs) * del[1];
  if (sg(d[0], del[0]) <= 0) d[0] = 0;
  else if (sg(del[0], del[1]) < 0 && std::fabs(d[0]) > std::fabs(3.0 * del[0])) d[0] = 3.0 * del[0];
  for (size_t i = 1; i + 1 < n; ++i) {
    d[i] = 0;
    if (sg(del[i - 1], del[i]) > 0) {
      hs = h[i - 1] + h[i];
      const double m = std::max(std::fabs(del[i - 1]), std::fabs(del[i]));
      const double w1 = (hs + h[i - 1]) / (3.0 * hs), w2 = (hs + h[i]) / (3.0 * hs);
      d[i] = std::min(std::fabs(del[i - 1]), std::fabs(del[i])) / (w1 * (del[i - 1] / m) + w2 * (del[i] / m));
    }
  }
  hs = h[n - 3] + h[n - 2];
  d[n - 1] = (-h[n - 2] / hs) * del[n - 3] + ((h[n - 2] + hs) / hs) * del[n - 2];
  if (sg(d[n - 1], del[n - 2]) <= 0) d[n - 1] = 0;
  else if (sg(del[n - 3], del[n - 2]) < 0 && std::fabs(d[n - 1]) > std::fabs(3.0 * del[n - 2]))
    d[n - 1] = 3.0 * del[n - 2];
  return d;
}

Error Stopped(HermiteCall call, int32_t ierr) {
  try {
    hermite_error(call, ierr);
  } catch (const Error& stop) {
    return stop;
  }
  return Error(ErrorKind::BadValue, "");
}

TEST(Dpchim, TwoPointsAreLinearInsideAndOutside) {
  const Table t = Fit({1.0, 3.0}, {2.0, 6.0});
  EXPECT_EQ(t.ierr, 0);
  EXPECT_EQ(t.d, (std::vector<double>{2.0, 2.0}));
  int32_t ierr = 0;
  const auto fe = Eval(t, {0.0, 2.0, 5.0}, ierr);
  EXPECT_EQ(ierr, 2);  // one point beyond each end
  EXPECT_EQ(fe, (std::vector<double>{0.0, 4.0, 10.0}));
}

TEST(Dpchim, DirectionChangesAreCounted) {
  Table peak = Fit({0, 1, 2}, {0, 1, 0});
  EXPECT_EQ(peak.ierr, 1);
  EXPECT_EQ(peak.d[1], 0.0);

  Table flatRiseFall = Fit({0, 1, 2, 3}, {1, 1, 2, 1});
  EXPECT_EQ(flatRiseFall.ierr, 1);
  EXPECT_EQ(flatRiseFall.d[0], 0.0);
  EXPECT_EQ(flatRiseFall.d[1], 0.0);
  EXPECT_EQ(flatRiseFall.d[2], 0.0);

  // A flat segment between opposite slopes counts against the last non-zero slope.
  EXPECT_EQ(Fit({0, 1, 2, 3}, {0, 1, 1, 0}).ierr, 1);
  EXPECT_EQ(Fit({0, 1, 2, 3}, {0, 1, 1, 2}).ierr, 0);
}

TEST(Dpchim, EndSlopeIsLimitedNextToDirectionChange) {
  // Three-point formulas give 6.5 and -6.5; both are cut to three times the end slope.
  EXPECT_EQ(Fit({0, 1, 2}, {0, 1, -9}).d[0], 3.0);
  EXPECT_EQ(Fit({0, 1, 2}, {-9, 1, 0}).d[2], -3.0);
  // Within the limit the formula stands: -0.5*1 + 1.5*(-10).
  EXPECT_EQ(Fit({0, 1, 2}, {0, 1, -9}).d[2], -15.5);
}

TEST(Dpchim, MatchesIndependentCalculation) {
  const std::vector<std::vector<double>> xs = {
      {0, 1, 2}, {0, 0.5, 2, 2.25, 7, 9.5}, {-300, -120, 0, 150, 400, 900, 1500}};
  const std::vector<std::vector<double>> fs = {
      {1, 3, 4}, {0, 0.3, 2.9, 3.0, 3.0, -1.0}, {0, 1.5, 2.2, 8.1, 14.3, 15.0, 40.7}};
  for (size_t c = 0; c < xs.size(); ++c) {
    const Table t = Fit(xs[c], fs[c]);
    EXPECT_EQ(t.d, ReferenceDerivs(xs[c], fs[c])) << "table " << c;
  }
}

TEST(Dpchim, MonotoneDataGiveMonotoneInterpolant) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> gap(0.05, 3.0), rise(0.0, 2.0);
  for (int trial = 0; trial < 20; ++trial) {
    std::vector<double> x{0.0}, f{0.0};
    for (int i = 1; i < 12; ++i) {
      x.push_back(x.back() + gap(rng));
      f.push_back(f.back() + (i % 4 == 0 ? 0.0 : rise(rng)));  // some flat segments
    }
    const Table t = Fit(x, f);
    ASSERT_GE(t.ierr, 0);
    for (double d : t.d) EXPECT_GE(d, 0.0);
    std::vector<double> xe;
    for (int k = 0; k <= 2000; ++k) xe.push_back(x.front() + (x.back() - x.front()) * k / 2000.0);
    int32_t ierr = 0;
    const auto fe = Eval(t, xe, ierr);
    for (size_t k = 1; k < fe.size(); ++k) ASSERT_GE(fe[k], fe[k - 1] - 1e-12) << "trial " << trial;
  }
}

TEST(Dpchfe, NodesLinearDataAndExtrapolation) {
  const Table t = Fit({0.0, 0.7, 1.9, 2.0, 4.4}, {0.3, 1.1, 1.2, 5.0, 5.5});
  int32_t ierr = -9;
  const auto fe = Eval(t, t.x, ierr);
  EXPECT_EQ(ierr, 0);  // x(n) is not extrapolated
  for (size_t i = 0; i + 1 < t.x.size(); ++i) EXPECT_EQ(fe[i], t.f[i]);
  EXPECT_NEAR(fe.back(), t.f.back(), 1e-14);

  std::vector<double> x = {-2.0, -0.5, 1.0, 1.25, 6.0}, f;
  for (double v : x) f.push_back(3.0 * v - 1.0);
  const Table line = Fit(x, f);
  const std::vector<double> xe = {-5.0, -1.0, 0.3, 1.1, 4.0, 9.0};
  const auto fl = Eval(line, xe, ierr);
  EXPECT_EQ(ierr, 2);
  for (size_t k = 0; k < xe.size(); ++k) EXPECT_NEAR(fl[k], 3.0 * xe[k] - 1.0, 1e-12);
}

TEST(Dpchfe, DescendingPointsBackUpToTheirInterval) {
  const Table t = Fit({0, 1, 2, 3, 4}, {0, 1, 4, 4.5, 9});
  int32_t ierr = 0;
  const std::vector<double> xe = {3.5, 0.5, 2.2, 1.0, -1.0};
  const auto together = Eval(t, xe, ierr);
  EXPECT_EQ(ierr, 1);  // only -1.0 lies outside
  for (size_t k = 0; k < xe.size(); ++k) EXPECT_EQ(together[k], Eval(t, {xe[k]}, ierr)[0]);
}

TEST(Hermite, InvalidArguments) {
  double x[3] = {0, 1, 1}, f[3] = {0, 1, 2}, d[3] = {7, 7, 7}, xe = 0.5, fe = 0;
  int32_t ierr = 0;
  hermite_derivatives(3, x, f, d, 1, ierr);
  EXPECT_EQ(ierr, -3);
  EXPECT_EQ(d[0], 7.0);  // untouched on failure
  x[2] = std::numeric_limits<double>::quiet_NaN();
  hermite_derivatives(3, x, f, d, 1, ierr);
  EXPECT_EQ(ierr, -3);
  x[2] = 2;
  hermite_derivatives(1, x, f, d, 1, ierr);
  EXPECT_EQ(ierr, -1);
  hermite_derivatives(3, x, f, d, 0, ierr);
  EXPECT_EQ(ierr, -2);

  bool skip = false;
  x[2] = 1;
  hermite_evaluate(3, x, f, d, 1, skip, 1, &xe, &fe, ierr);
  EXPECT_EQ(ierr, -3);
  EXPECT_FALSE(skip);
  for (bool s : {false, true}) {
    x[2] = 2;
    skip = s;
    hermite_evaluate(3, x, f, d, 1, skip, 0, &xe, &fe, ierr);
    EXPECT_EQ(ierr, -4);
  }
}

TEST(Hermite, ReportLines) {
  const Error stop = Stopped(HermiteCall::GridSlopesAlongSpeed, -3);
  EXPECT_EQ(stop.kind(), ErrorKind::Interpolation);
  EXPECT_STREQ(stop.what(),
               "Error : DPCHIM ( called from FCGRID, 2nd ); ierr = -3; Terminated by error of Hermite function. Check "
               "input fuel map.");
  EXPECT_EQ(stop.details().size(), 2u);
  EXPECT_EQ(Stopped(HermiteCall::RateValuesAlongTorque, -5).message(), "Error : DPCHFE ( called from CALCFC, 2nd )");
  EXPECT_EQ(Stopped(HermiteCall::MapSlopesAlongTorque, -1).message(), "Error : DPCHIM ( called from FCGRID, 1st )");
}

}  // namespace

}  // namespace hdfe
