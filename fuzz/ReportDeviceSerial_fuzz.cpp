#include "ReportDeviceFuzz.h"

// The serial byte protocol (escape bytes, length and checksum, acknowledgements, command echoes)
// over any byte stream: the reader never crashes, never keeps more than one frame and always
// makes progress.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TFuzzDevice device(QV_Serial, ptColdfire);
  RunDecoder(device, false, 0, data, size);
  return 0;
}
