#include "ReportDeviceFuzz.h"

// Any byte stream: the reader never crashes, never reads out of bounds and always makes progress.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TFuzzDevice device(QV_Simul, ptUnknown);
  // The longest frame that may wait for its end: a message frame of 7 + 255 bytes.
  RunDecoder(device, true, 7 + 255 - 1, data, size);
  return 0;
}
