// x86-64 (Linux and 64-bit Windows): SSE does double and single, the x87 unit
// still does long double, and both ABIs keep the x87 stack empty across calls,
// so the x87 control word and MXCSR are the whole state a host can hand us.
// The guard saves both, clears pending x87 exception flags (an unmasked one
// would fire at our next x87 instruction) and loads the plug-in's values;
// restoring puts both back. 64-bit Windows hosts start with 53-bit x87
// precision (0x027F); the plug-in's long double code expects 64-bit.
#include <cstring>

#include "platform/Fpu.h"

#if !defined(__x86_64__)
#error "FpuX86_64.cpp is the 64-bit x86 guard"
#endif

namespace platform {

void SaveFPUState(FPUStateArea& area) {
  std::memset(area.X87, 0, sizeof area.X87);
  uint16_t cw = GetX87ControlWord();
  std::memcpy(area.X87, &cw, sizeof cw);
  area.Mxcsr = GetMxcsr();
  __asm__ __volatile__("fnclex");
  SetX87ControlWord(kPluginFpuControlWord);
  SetMxcsr(kPluginMxcsr);
}

void RestoreFPUState(const FPUStateArea& area) {
  uint16_t cw;
  std::memcpy(&cw, area.X87, sizeof cw);
  __asm__ __volatile__("fnclex");
  SetX87ControlWord(cw);
  SetMxcsr(area.Mxcsr);
}

}  // namespace platform
