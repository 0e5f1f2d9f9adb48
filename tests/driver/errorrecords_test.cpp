// The records the command line writes for an error, and the exit status it gives it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errorrecords.h"
#include "hdfe/error.h"

namespace hdfe {

namespace {

TEST(ErrorRecords, EachMessageIsOneRecordAfterABlankWithTheFormsScriptsMatch) {
  using Records = std::vector<std::string>;
  EXPECT_EQ(error_records(Error(ErrorKind::EndOfFile, "End of file reached in [ a ] before all values were read", "a")),
            Records{" End of file reached in [ a ] before all values were read"});
  EXPECT_EQ(error_records(Error(ErrorKind::MissingFile, "Cannot open spec-file : s.txt", "s.txt")),
            Records{"  Cannot open spec-file : s.txt"});
  EXPECT_EQ(error_records(Error(ErrorKind::MissingFile, "Cannot open engine file [ e ]", "e")),
            Records{" Cannot open engine file [ e ]"});
  EXPECT_EQ(error_records(Error(ErrorKind::BadValue, "Failed to read spec_data file", "s.txt", 7)),
            Records{" Failed to read spec_data file "});
  EXPECT_EQ(error_records(Error(ErrorKind::Usage, "unknown option --x")),
            (Records{" unknown option --x", " Try 'hdfe --help'."}));

  const std::string site = "Error : DPCHIM ( called from FCGRID, 2nd )";
  const Error hermite = Error(ErrorKind::Interpolation, site)
                            .with_detail("ierr = -3")
                            .with_detail("Terminated by error of Hermite function. Check input fuel map.");
  EXPECT_EQ(error_records(hermite),
            (Records{site + std::string(1024 - site.size(), ' '), "ierr =" + std::string(11, ' ') + "-3",
                     " Terminated by error of Hermite function. Check input fuel map."}));
}

TEST(ErrorRecords, OnlyACommandLineNotUnderstoodExitsWithTwo) {
  EXPECT_EQ(error_status(Error(ErrorKind::Usage, "x")), 2);
  for (const ErrorKind kind : {ErrorKind::MissingFile, ErrorKind::BadValue, ErrorKind::EndOfFile,
                               ErrorKind::UnknownCategory, ErrorKind::VehicleCheck, ErrorKind::Interpolation,
                               ErrorKind::CannotWrite, ErrorKind::Console, ErrorKind::Limit, ErrorKind::BadResult}) {
    EXPECT_EQ(error_status(Error(kind, "x")), 1) << error_kind_name(kind);
  }
}

}  // namespace

}  // namespace hdfe
