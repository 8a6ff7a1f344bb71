#include <gtest/gtest.h>

#include "engine/anaglyph.h"

using namespace quarn::engine;

TEST(OptimisedRed, GivesTheKnownValues) {
  EXPECT_EQ(161, optimisedRed(OptimisationVariant::kPlain, 0, 128, 128));
  EXPECT_EQ(161, optimisedRed(OptimisationVariant::kSse2, 0, 128, 128));
  EXPECT_EQ(161, optimisedRed(OptimisationVariant::kMmx3DNow, 0, 128, 128));
  EXPECT_EQ(5, optimisedRed(OptimisationVariant::kPlain, 0, 1, 0));
  EXPECT_EQ(5, optimisedRed(OptimisationVariant::kSse2, 0, 1, 0));
  EXPECT_EQ(4, optimisedRed(OptimisationVariant::kMmx3DNow, 0, 1, 0));
  EXPECT_EQ(58, optimisedRed(OptimisationVariant::kPlain, 0, 0, 91));
  EXPECT_EQ(57, optimisedRed(OptimisationVariant::kSse2, 0, 0, 91));
  EXPECT_EQ(57, optimisedRed(OptimisationVariant::kMmx3DNow, 0, 0, 91));
}
