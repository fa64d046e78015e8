// Golden pictures: a test's drawing compared with a committed PNG.
//
// MatchesGolden passes when the bitmap has the golden's size and every pixel
// matches: exactly, or with tolerance > 0 when at most `fraction` of the
// pixels differ by more than tolerance in a channel (for pictures drawn with
// real fonts). On a failure it writes two pictures beside the test output,
// in golden-failures/ under the working directory (the build folder under
// ctest): <name>.actual.png, the drawing, and <name>.diff.png, the golden
// dimmed with every differing pixel in red; the message names both. With the
// environment variable QMK_UPDATE_GOLDENS=1 it writes the drawing as the new
// golden and passes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/gdi/raster.h"

namespace zettest {

::testing::AssertionResult MatchesGolden(const win::Bitmap& actual, const std::string& goldenPath,
                                         int tolerance = 0, double fraction = 0.0);

}  // namespace zettest
