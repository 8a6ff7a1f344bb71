// The identification instruction and the probe instructions, each run under
// a guard that turns an illegal-instruction fault into "not usable".
#include <cpuid.h>
#include <csetjmp>
#include <csignal>

#include "app/cpu_features.h"

namespace quarn::app {

CpuIdentification identifyCpu() {
  CpuIdentification id;
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid_max(0, nullptr) == 0) return id;  // no identification instruction
  id.identifies = true;
  if (__get_cpuid(1, &a, &b, &c, &d) != 0) id.leaf1Edx = d;
  a = b = c = d = 0;
  __cpuid(0x80000000u, a, b, c, d);
  id.maxExtendedLeaf = a;
  if (id.maxExtendedLeaf >= 0x80000000u) {
    a = b = c = d = 0;
    __cpuid(0x80000001u, a, b, c, d);
    id.extendedLeaf1Edx = d;
  }
  return id;
}

namespace {

sigjmp_buf probeJump;

void onIllegalInstruction(int) { siglongjmp(probeJump, 1); }

template <typename Instruction>
int runGuarded(Instruction instruction) {
  struct sigaction guard {}, previous {};
  guard.sa_handler = onIllegalInstruction;
  sigemptyset(&guard.sa_mask);
  sigaction(SIGILL, &guard, &previous);
  volatile int ran = 0;
  if (sigsetjmp(probeJump, 1) == 0) {
    instruction();
    ran = 1;
  }
  sigaction(SIGILL, &previous, nullptr);
  return ran;
}

}  // namespace

int probeFeature(uint32_t feature) {
  switch (feature) {
    case FeatureMmx:
      return runGuarded([] { __asm__ volatile("pxor %%mm0, %%mm0\n\temms" ::: "mm0"); });
    case FeatureSse:
      return runGuarded([] { __asm__ volatile("xorps %%xmm0, %%xmm0" ::: "xmm0"); });
    case FeatureSse2:
      return runGuarded([] { __asm__ volatile("xorpd %%xmm0, %%xmm0" ::: "xmm0"); });
    case Feature3DNow:
      return runGuarded([] { __asm__ volatile("pfrcp %%mm0, %%mm0\n\temms" ::: "mm0"); });
    default:
      return 1;
  }
}

bool runtimeFloatingPointIsSse2() {
#if defined(__x86_64__) || defined(__SSE2_MATH__)
  return true;
#else
  return false;
#endif
}

}  // namespace quarn::app
