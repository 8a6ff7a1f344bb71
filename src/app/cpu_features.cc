#include "app/cpu_features.h"

namespace quarn::app {

uint32_t usableFeatures(const CpuIdentification& id, const std::function<int(uint32_t)>& probe) {
  if (!id.identifies) return 0;
  struct Check {
    CpuFeatureBit feature;
    uint32_t reg;
    int bit;
  };
  const uint32_t extended = id.maxExtendedLeaf >= 0x80000000u ? id.extendedLeaf1Edx : 0;
  const Check checks[] = {
      {FeatureMmx, id.leaf1Edx, 23},
      {Feature3DNow, extended, 31},
      {FeatureSse, id.leaf1Edx, 25},
      {FeatureSse2, id.leaf1Edx, 26},
  };
  uint32_t usable = 0;
  for (const Check& c : checks) {
    if (((c.reg >> c.bit) & 1u) != 0 && probe(c.feature) == 1) usable |= c.feature;
  }
  return usable;
}

void detectCpuFeatures(CpuFeatures& features) { features.usable = usableFeatures(identifyCpu(), probeFeature); }

ProcessorFlags deriveProcessorFlags(const CpuFeatures& features) {
  ProcessorFlags flags;
  flags.useMmx3DNow = (features.usable & FeatureMmx) != 0 && (features.usable & Feature3DNow) != 0;
  flags.useSse2 = (features.usable & FeatureSse2) != 0;
  return flags;
}

void printProcessorLines(platform::Console& console, const ProcessorFlags& flags, bool runtimeUsesSse2) {
  console.write(flags.useMmx3DNow ? " Poddrujkata na [MMX + AMD 3DNow!] instrukcii e aktivirana!\n"
                                  : " Poddrujkata na [MMX + AMD 3DNow!] instrukcii ne e aktivirana!\n");
  console.write(runtimeUsesSse2 && flags.useSse2 ? " Poddrujkata na SSE2 instrukcii e aktivirana!\n"
                                                 : " Poddrujkata na SSE2 instrukcii ne e aktivirana!\n");
  if (!flags.useMmx3DNow && !flags.useSse2) {
    console.write(" Lipsata na poddrujka na MMX, AMD 3DNow! i SSE2 procesorni instrukcii\n");
    console.write(" znachitelno shte zabavi konvertiraneto!\n");
  }
}

}  // namespace quarn::app
