// The program's icon as drawing steps: a pie with one slice taken out, on a
// dish, 32 by 32 pixels. Each window backend draws the steps into its icon.
#pragma once

#include "Drawing.h"

#include <vector>

inline constexpr int ZeqIconSize = 32;

std::vector<TDrawStep> ZeqIconSteps();
