#pragma once

// A capture of one whole move: a window that spans the move from its start until after it has
// settled, taken once, from the moment the velocity target leaves rest when the drive can
// trigger. The motion test page offers it as "Whole move"; the command-line tool's motion capture
// takes it unless told the sampling.

#include "CaptureSettings.h"
#include "TestRegisters.h"

namespace kestova::motion {

// The drive's sampling multiplier goes no higher.
constexpr int kMaxMultiplier = 1000;

// How long one move of the profile lasts, in ms: ramp up, plateau, ramp down (a triangle when
// the distance runs out before the speed is reached). 0 for a move without speed, acceleration
// or distance.
double MoveDurationMs(const MotionProfile& profile);

// The window a whole move needs: the move and half as long again to settle, at least 150 ms.
double WholeMoveWindowMs(const MotionProfile& profile);

// The smallest multiplier whose `samples` samples of `basePeriodUs` span the window, 1 to
// kMaxMultiplier.
int WholeMoveMultiplier(const MotionProfile& profile, int basePeriodUs, int samples);

// The velocity target's level that tells the move has started: a twentieth of the speed, at
// least 10 rpm so that a drive's standstill jitter does not fire it, signed as the move turns.
int StartLevel(const MotionProfile& profile);

// Fits `s` to one move of `profile`: the multiplier, one capture, and (when the drive can) the
// trigger on the velocity target passing the start level.
void FitToWholeMove(CaptureSettings& s, const MotionProfile& profile);

} // namespace kestova::motion
