#pragma once
// Port: the floating-point guard around every entry from the host.
// SaveFPUState stores the caller's complete floating-point state and loads the
// plug-in's: x87 control word 0x033F (all exceptions masked, 64-bit precision,
// round to nearest) and MXCSR 0x1F80 (all SSE exceptions masked, round to
// nearest). RestoreFPUState reloads what was saved.

#include <cstdint>

namespace platform {

struct FPUStateArea {
  alignas(16) unsigned char X87[108];  // FNSAVE image (i686); control word only on x86-64
  uint32_t Mxcsr;
};

constexpr uint16_t kPluginFpuControlWord = 0x033F;
constexpr uint32_t kPluginMxcsr = 0x1F80;

void SaveFPUState(FPUStateArea& area);
void RestoreFPUState(const FPUStateArea& area);

// Readers and writers for tests and for hosts that check their own state.
uint16_t GetX87ControlWord();
void SetX87ControlWord(uint16_t cw);
uint32_t GetMxcsr();
void SetMxcsr(uint32_t v);

// RAII form used by the entry points: saves on construction, restores on
// every exit path.
class FpuGuard {
public:
  FpuGuard() { SaveFPUState(FArea); }
  ~FpuGuard() { RestoreFPUState(FArea); }
  FpuGuard(const FpuGuard&) = delete;
  FpuGuard& operator=(const FpuGuard&) = delete;

private:
  FPUStateArea FArea;
};

}  // namespace platform
