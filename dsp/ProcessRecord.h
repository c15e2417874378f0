#pragma once
// The per-call process record handed to the plug-in's process handlers. It is
// built anew, zero-filled, for every process call and lives only for the
// duration of the handler call. The staging advances its buffer pointers as it
// walks a host block in pieces.

#include <cstdint>

// The most channels a host may connect in each direction: the process
// record, the parameter model's connection flags, the staging buffers and the
// clip statistics are all sized by it.
constexpr int kMaxChannels = 32;

struct TVSTProcessRecord {
  float* Inputs[kMaxChannels];   // first InCount copied from the host, rest null
  float* Outputs[kMaxChannels];  // first OutCount copied
  int32_t SampleFrames;          // as the host gave it
  int32_t Replacing;             // all bits set: overwrite outputs; 0: add to them
  int32_t InCount;
  int32_t OutCount;
  uint8_t InConnected[kMaxChannels];
  uint8_t OutConnected[kMaxChannels];
};
using PVSTProcessRecord = TVSTProcessRecord*;
