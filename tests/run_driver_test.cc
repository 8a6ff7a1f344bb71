// End-to-end runs of the built program on generated BMP files.
#include <gtest/gtest.h>

#include "support/bmp_fixture.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace quarn::testing;

TEST(RunDriver, ConvertsABmpGivenAllEightParameters) {
  TempDir dir;
  writeFile(dir.file("in.bmp"), makePatternBitmap(100, 50, 24));
  const ProgramResult r = runQuarn({{"10", "ne", "ne", "0", "0000", "0", "A", dir.file("in.bmp")}});
  EXPECT_EQ(0, r.exitCode);
  EXPECT_EQ(expectedPreamble() +
                " Izpolzvana dulbochina: 10\n Izpolzvane na cvetova optimizaciq: ne\n Izpolzvane na 3D+: ne\n"
                " Zarejdane & konvertirane ......... gotovo!",
            r.out);
  ASSERT_EQ(2u, dir.list().size());
}
