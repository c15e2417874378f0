// i686: FNSAVE stores the complete x87 state (and re-initialises the unit),
// FRSTOR reloads it. The plug-in's arithmetic runs on SSE2, so MXCSR is saved
// and set as well.
#include "platform/Fpu.h"

#if !defined(__i386__)
#error "FpuI686.cpp is the 32-bit x86 guard"
#endif

namespace platform {

void SaveFPUState(FPUStateArea& area) {
  __asm__ __volatile__("fnsave %0" : "=m"(area.X87) : : "memory");
  area.Mxcsr = GetMxcsr();
  SetX87ControlWord(kPluginFpuControlWord);
  SetMxcsr(kPluginMxcsr);
}

void RestoreFPUState(const FPUStateArea& area) {
  __asm__ __volatile__("frstor %0" : : "m"(area.X87) : "memory");
  SetMxcsr(area.Mxcsr);
}

}  // namespace platform
