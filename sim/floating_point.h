// The arithmetic the core's results are defined by: IEEE doubles, every
// operation rounded to double. Targets that keep intermediates in wider
// registers (x87's 80-bit stack, FLT_EVAL_METHOD 2) round differently and
// give other trajectories, so they are refused here rather than allowed to
// drift.
#pragma once

#include <cfloat>

#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "marionette: doubles must be evaluated in double precision (FLT_EVAL_METHOD 0), not x87 extended precision; on 32-bit x86 compile with -msse2 -mfpmath=sse"
#endif
