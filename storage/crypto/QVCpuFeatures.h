#pragma once

// Which of the processor's cipher and digest instructions the storage code may use. Each
// primitive keeps its portable code and picks the instructions at run time, so one build runs on
// every x86-64 processor (and elsewhere, portable only) and still takes the fast path where there
// is one.
namespace QVCpu {

// AES-NI with SSE4.1, as the processor reports it (false where the build has no such path).
bool HasAESNI();
// The SHA extensions with SSE4.1.
bool HasSHANI();
// BMI2 (non-destructive rotates) with SSSE3, which the 64-bit digest uses when present: the
// rotates for its rounds, the vector unit for its message schedule.
bool HasBMI2();

// The paths the primitives take now: what the processor has, unless the portable code is
// forced. QV_PORTABLE_CRYPTO=1 in the environment forces it for the whole process.
bool UseAESNI();
bool UseSHANI();
bool UseBMI2();

// Makes every later call take (or no longer take) the portable code, whatever the processor
// has; the tests use it to hold both paths to the same results on every machine.
void ForcePortable(bool force);
bool PortableForced();

} // namespace QVCpu
