// Finding the launcher's green Play button in a picture.
#pragma once

#include "vision/picture.h"

enum { MAX_GREEN_BOXES = 64 };

// 1 with the button's box in client pixels and, when `colour` is given, its
// colour 0xRRGGBB; 0 leaves both untouched.
int find_green_button(const Capture* picture, Rect* box, uint32_t* colour);
