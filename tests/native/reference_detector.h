#pragma once

#include "vision/picture.h"

// The detector's rules read literally, without shortcuts; same contract as
// find_green_button.
int reference_find_green_button(const Capture* picture, Rect* box, uint32_t* colour);
