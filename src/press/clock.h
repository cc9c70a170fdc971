// The tick count and sleeping, behind a seam so that tests can run the
// locate pass and the driver on virtual time.
#pragma once

#include <stdint.h>

typedef uint64_t (*TickSource)();
typedef void (*Sleeper)(uint32_t milliseconds);

// The product uses GetTickCount64 and Sleep; tests may swap both.
extern TickSource tick_source;
extern Sleeper sleeper;

inline uint64_t current_tick() { return tick_source(); }
inline void wait_ms(uint32_t milliseconds) { sleeper(milliseconds); }
