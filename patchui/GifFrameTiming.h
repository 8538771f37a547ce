#pragma once

#include <cstdint>

// How long a frame of an animated GIF stays before the next one, in milliseconds, from its
// delay (hundredths of a second, GifFrameCut::kNoDelay without a graphic control extension)
// and the player's delay factor.
//
// Delays below 5 hundredths play at 100 ms, as browsers do; so does a frame without a graphic
// control extension, which would otherwise rest for ever. A factor below 1 counts as 1: 0
// would spin the player without rest and a negative one would stop it. The product never
// wraps and never reaches the platform's "wait for ever".
uint32_t GifFrameWaitMs(uint32_t delay, int delayFactor);
