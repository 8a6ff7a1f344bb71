// cpu_features.h: which x86 instruction-set extensions the processor offers
// and the operating system lets run; they pick the numeric variant of the
// colour optimisation.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/console.h"

namespace quarn::app {

enum CpuFeatureBit : uint32_t {
  FeatureMmx = 1,    // leaf 1, EDX bit 23
  FeatureSse = 2,    // leaf 1, EDX bit 25
  FeatureSse2 = 4,   // leaf 1, EDX bit 26
  Feature3DNow = 8,  // leaf 0x80000001, EDX bit 31
};

struct CpuFeatures {
  uint32_t usable = 0;  // reported by the processor and probed without a fault
};

// What the identification instruction reported.
struct CpuIdentification {
  bool identifies = false;        // the instruction exists
  uint32_t leaf1Edx = 0;
  uint32_t maxExtendedLeaf = 0;   // from leaf 0x80000000
  uint32_t extendedLeaf1Edx = 0;  // leaf 0x80000001, 0 when that leaf is absent
};

// The registers of this processor; nothing reported on builds for other
// processors.
CpuIdentification identifyCpu();

// 1 when the probe instruction of `feature` ran without a fault, else 0;
// 1 without running anything for a value that is not one of the four bits.
int probeFeature(uint32_t feature);

// The bits that are reported and whose probe succeeds, probed in the order
// MMX, 3DNow!, SSE, SSE2.
uint32_t usableFeatures(const CpuIdentification& id, const std::function<int(uint32_t)>& probe);

void detectCpuFeatures(CpuFeatures& features);

struct ProcessorFlags {
  bool useMmx3DNow = false;
  bool useSse2 = false;
};

ProcessorFlags deriveProcessorFlags(const CpuFeatures& features);

// The processor-support lines. `runtimeUsesSse2`: the C runtime's own
// floating point is SSE2 (always so on x86-64).
void printProcessorLines(platform::Console& console, const ProcessorFlags& flags, bool runtimeUsesSse2);

// Whether this build's C runtime does its floating point in SSE2.
bool runtimeFloatingPointIsSse2();

}  // namespace quarn::app
