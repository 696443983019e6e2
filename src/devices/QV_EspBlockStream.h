#pragma once
#include <string>
#include <string_view>

// Cuts the byte stream of a network-module instrument into its transmit blocks, whatever the
// pieces the transport delivers. Bytes that start no block are skipped up to the next magic. A
// magic followed by more than 24 values is a broken block: it is dropped and reported, never taken
// as a length to wait for, so the kept rest never exceeds one block. An incomplete block, a header
// split across two receptions included, waits for the rest.
class TQV_EspBlockStream {
 public:
  class TSink {
   public:
    virtual ~TSink() = default;
    // One whole block (header and values); the view lives until Block returns.
    virtual void Block(std::string_view block) = 0;
    // Bytes before a magic, or a header whose value count is out of range (`broken`).
    virtual void Skipped(std::string_view bytes, bool broken) = 0;
  };

  // Appends data and hands every complete block to the sink, in stream order.
  void Feed(std::string_view data, TSink& sink);
  // The kept incomplete block or the possible start of a magic.
  const std::string& Remaining() const { return FRemaining; }
  void Clear() { FRemaining.clear(); }

 private:
  std::string FRemaining;
};
