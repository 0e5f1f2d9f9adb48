#include "io/readengtrn.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inputfiles.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace {

class ReadEngTrn : public InputFiles {
 protected:
  TransmissionInput trn;
  EngineInput eng;
};

TEST_F(ReadEngTrn, Transmission) {
  trn = read_transmission(Write("trn.txt", "2\n3\n6.7 first\n3.8\n\n1.0d0\n2\n1.25\n1\n1\n"));
  EXPECT_EQ(trn.start_gears, 2);
  EXPECT_EQ(trn.main_ratios, (std::vector<double>{6.7, 3.8, 1.0}));
  EXPECT_EQ(trn.aux_ratios, (std::vector<double>{1.25, 1.0}));
  EXPECT_EQ(trn.type, TransmissionType::TorqueConverter);
}

TEST_F(ReadEngTrn, CountsOfZeroOrLessReadNoLines) {
  trn = read_transmission(Write("trn.txt", "1\n-4\n0\n0\n"));
  EXPECT_TRUE(trn.main_ratios.empty());
  EXPECT_TRUE(trn.aux_ratios.empty());
  EXPECT_EQ(trn.type, TransmissionType::Manual);
}

TEST_F(ReadEngTrn, ShortRatioListShiftsTheValues) {
  // Count 6 with five ratio lines: the aux count line is read as the sixth ratio, every
  // later value shifts by one line, and the file ends before the transmission kind.
  const std::string ends = Write("trn.txt", "1\n6\n6\n5\n4\n3\n2\n1\n1\n0\n");
  ExpectStop(StopOf([&] { read_transmission(ends); }),
             "End of file reached in [ " + ends + " ] before all values were read", ErrorKind::EndOfFile);

  const std::string shifted = Write("shifted.txt", "1\n6\n6.5\n5.5\n4.5\n3.5\n2.5\n1\n1.0\n0\n");
  ExpectStop(StopOf([&] { read_transmission(shifted); }),
             "Failed to read transmission file [ " + shifted + " ]", ErrorKind::BadValue);
}

TEST_F(ReadEngTrn, HugeCountDoesNotAllocateAhead) {
  const std::string name = Write("trn.txt", "1\n2000000000\n6.7\n3.8\n");
  ExpectStop(StopOf([&] { read_transmission(name); }),
             "End of file reached in [ " + name + " ] before all values were read", ErrorKind::EndOfFile);
}

TEST_F(ReadEngTrn, Engine) {
  eng = read_engine(Write("eng.txt", "'maps/fuel map.txt'\nfull.txt\r\nmotor.txt\n600\n1950.5\n2500\n"));
  EXPECT_EQ(eng.fuel_map_file, "maps/fuel map.txt");
  EXPECT_EQ(eng.full_load_file, "full.txt");
  EXPECT_EQ(eng.motoring_file, "motor.txt");
  EXPECT_EQ(eng.idle_speed_rpm, 600.0);
  EXPECT_EQ(eng.rated_speed_rpm, 1950.5);
  EXPECT_EQ(eng.max_speed_rpm, 2500.0);

  // An undelimited slash ends the value and the rest of the read.
  eng = read_engine(Write("eng2.txt", "map/eng.map\nf\nm\n1\n2\n3\n"));
  EXPECT_EQ(eng.fuel_map_file, "map");
}

TEST_F(ReadEngTrn, Failures) {
  ExpectStop(StopOf([&] { read_transmission(Missing()); }),
             "Cannot open transmission file [ " + Missing() + " ]", ErrorKind::MissingFile);
  ExpectStop(StopOf([&] { read_engine(Missing()); }),
             "Cannot open engine file [ " + Missing() + " ]", ErrorKind::MissingFile);
  const std::string bad_eng = Write("eng.txt", "a\nb\nc\n600\nabc\n2500\n");
  ExpectStop(StopOf([&] { read_engine(bad_eng); }),
             "Failed to read engine file [ " + bad_eng + " ]", ErrorKind::BadValue);
  const std::string short_eng = Write("short.txt", "a\nb\nc\n600\n1950\n");
  ExpectStop(StopOf([&] { read_engine(short_eng); }),
             "End of file reached in [ " + short_eng + " ] before all values were read", ErrorKind::EndOfFile);
  const std::string bad_count = Write("trn.txt", "1\n2.0\n");
  ExpectStop(StopOf([&] { read_transmission(bad_count); }),
             "Failed to read transmission file [ " + bad_count + " ]", ErrorKind::BadValue);
}

}  // namespace

}  // namespace hdfe
