#include "dsp/chstats.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "dsp/VecOps.h"

TChannelStats::TChannelStats(int channels, int32_t sampleRate) : FChannelCount(std::clamp(channels, 0, kMaxChannels)) {
  try {
    for (int k = 0; k < FChannelCount; ++k) AlignedAlloc(FRecords[k], sizeof(TChannelStatsRecord));
  } catch (...) {
    for (auto* r : FRecords)
      if (r) AlignedFree(r);
    throw;
  }
  SetSampleRate(sampleRate);
}

TChannelStats::~TChannelStats() {
  for (auto* r : FRecords)
    if (r) AlignedFree(r);
}

void TChannelStats::SetSampleRate(int32_t sampleRate) {
  FSampleRate = sampleRate;
  Reset();
}

void TChannelStats::Reset() {
  for (int k = 0; k < FChannelCount; ++k) *FRecords[k] = {0, 0};
}

void TChannelStats::Analyse(const double* const* buffers, int channels, float gain, int n) {
  const double g = gain;
  const int count = std::min(channels, FChannelCount);
  for (int k = 0; k < count; ++k) {
    const double* x = buffers[k];
    if (!x) continue;
    TChannelStatsRecord& r = *FRecords[k];
    int32_t overRun = r.OverRun, clips = r.Clips;
    for (int i = 0; i < n; ++i) {
      const double q = std::nearbyint(x[i] * g * 32768.0);
      if (q >= 32767.0 || q <= -32768.0) {
        // Saturates instead of wrapping, so an endless run counts only once.
        if (overRun < INT32_MAX) ++overRun;
        if (overRun == 3) ++clips;
      } else {
        overRun = 0;
      }
    }
    r.OverRun = overRun;
    r.Clips = clips;
  }
}

int32_t TChannelStats::ClipCount(int channel) const {
  if (channel < 0 || channel >= FChannelCount) return 0;
  return FRecords[channel]->Clips;
}
