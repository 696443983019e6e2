#include "ReportDeviceFuzz.h"

// Any byte stream: the reader never crashes, never reads out of bounds and always makes progress.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TFuzzDevice device(QV_TCP_Device, ptUnknown);
  RunDecoder(device, false, 8200, data, size);
  return 0;
}
