#pragma once
// TChannelStats: counts clip events on the processed output. A clip event is
// a run of three or more consecutive samples at or beyond full scale (after
// the analysis gain, on a 16-bit grid); runs carry over between blocks.
//
// Threading: audio thread only (Analyse, Reset); ClipCount is read by the
// chain's display update on the same thread. No allocation after construction.

#include <cstdint>

#include "dsp/ProcessRecord.h"

struct TChannelStatsRecord {
  int32_t Clips;
  int32_t OverRun;
};

class TChannelStats {
public:
  TChannelStats(int channels, int32_t sampleRate);
  ~TChannelStats();
  TChannelStats(const TChannelStats&) = delete;
  TChannelStats& operator=(const TChannelStats&) = delete;

  void SetSampleRate(int32_t sampleRate);
  void Reset();
  // buffers[k] may be null (channel skipped); channels beyond the own count are ignored.
  void Analyse(const double* const* buffers, int channels, float gain, int n);
  int32_t ClipCount(int channel) const;
  int ChannelCount() const { return FChannelCount; }
  int32_t SampleRate() const { return FSampleRate; }

private:
  int FChannelCount;
  int32_t FSampleRate = 0;
  TChannelStatsRecord* FRecords[kMaxChannels] = {};
};
