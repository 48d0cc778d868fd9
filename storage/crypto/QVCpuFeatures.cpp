#include "storage/crypto/QVCpuFeatures.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace QVCpu {

namespace {

struct TFeatures {
    bool AESNI = false;
    bool SHANI = false;
    bool BMI2 = false;
};

TFeatures Detect() {
    TFeatures features;
#if defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0)
        return features;
    const bool sse41 = (c & bit_SSE4_1) != 0;
    const bool ssse3 = (c & bit_SSSE3) != 0;
    features.AESNI = sse41 && (c & bit_AES) != 0;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) {
        features.SHANI = sse41 && (b & bit_SHA) != 0;
        features.BMI2 = ssse3 && (b & bit_BMI2) != 0;
    }
#endif
    return features;
}

const TFeatures& Features() {
    static const TFeatures features = Detect();
    return features;
}

bool ForcedByEnvironment() {
    const char* value = std::getenv("QV_PORTABLE_CRYPTO");
    return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

// Read on every call of a primitive, so it is a plain flag set once before main runs.
bool Forced = ForcedByEnvironment();

} // namespace

bool HasAESNI() {
    return Features().AESNI;
}

bool HasSHANI() {
    return Features().SHANI;
}

bool HasBMI2() {
    return Features().BMI2;
}

bool UseAESNI() {
    return !Forced && HasAESNI();
}

bool UseSHANI() {
    return !Forced && HasSHANI();
}

bool UseBMI2() {
    return !Forced && HasBMI2();
}

void ForcePortable(bool force) {
    Forced = force;
}

bool PortableForced() {
    return Forced;
}

} // namespace QVCpu
