// The pictures on the progress window's two buttons, as drawing steps free of
// any toolkit: each window backend replays them, so that the buttons look the
// same everywhere. Both keep to the 16-colour palette.
#pragma once

#include "Drawing.h"

// The Cancel button's scissors, ScissorsSize pixels square, drawn into r at
// its current transform (the picture's top left corner at its origin).
inline constexpr int ScissorsSize = 20;
void DrawScissors(TStepRecorder& r);

// The pause button's bell, BellSize pixels square.
inline constexpr int BellSize = 16;
void DrawBell(TStepRecorder& r);
