// Two tests on button boxes.
#pragma once

#include "vision/picture.h"

// 1 when more than 24 profile-marker pixels lie in the band of rows around
// `box` (one box height above and below), outside the box itself.
int has_profile_marker(const Capture* picture, Rect box);
// 1 when `now` and `then` show the same button: centres within 12 pixels,
// sizes within about a seventh of `now`'s.
int boxes_agree(Rect now, Rect then);
