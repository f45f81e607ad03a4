// scale.filter: scales the ARGB32 picture on port 0 to the size its argument
// string asks for, giving it on port 1.
//
// Arguments: "WIDTH=w HEIGHT=h [MODE=m]", keywords in any case, separated by
// blanks. MODE 4 (the default) averages areas when shrinking and
// interpolates when growing; MODE 0 takes the nearest pixel.
#pragma once

#include <cstdint>

#include "reggae/pixel_scale.h"

namespace reggae::pictures {

struct ScaleArguments {
  uint32_t width = 0;
  uint32_t height = 0;
  ScaleMode mode = ScaleMode::AreaAverage;
};

// False for an unknown keyword, a missing or bad number, a size outside the
// picture limits, or an unknown mode.
bool ParseScaleArguments(const char *text, ScaleArguments &out);

} // namespace reggae::pictures
