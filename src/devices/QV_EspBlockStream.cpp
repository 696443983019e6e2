#include "devices/QV_EspBlockStream.h"

#include "devices/QV_TransmitBlock.h"

namespace {

constexpr std::string_view Magic = TQV_TransmitBlock::Magic;

// Where the next block may start at or after `from`: the next magic, or the last bytes that could
// begin one.
size_t NextStart(std::string_view bytes, size_t from) {
  const size_t magic = bytes.find(Magic, from);
  if (magic != std::string_view::npos) return magic;
  return bytes.size() > Magic.size() - 1 ? std::max(from, bytes.size() - (Magic.size() - 1)) : from;
}

}  // namespace

void TQV_EspBlockStream::Feed(std::string_view data, TSink& sink) {
  // The common case, whole blocks in one reception, is cut straight from the data.
  std::string joined;
  std::string_view bytes = data;
  if (!FRemaining.empty()) {
    joined = std::move(FRemaining);
    joined.append(data);
    bytes = joined;
  }
  FRemaining.clear();
  size_t pos = 0;
  while (pos < bytes.size()) {
    const std::string_view rest = bytes.substr(pos);
    if (!rest.starts_with(Magic)) {
      const size_t next = NextStart(bytes, pos);
      if (next == pos) break;  // a possible magic start: wait for more
      sink.Skipped(bytes.substr(pos, next - pos), false);
      pos = next;
      continue;
    }
    if (rest.size() < TQV_TransmitBlock::HeaderSize) break;
    const size_t size = TransmitBlockSize(rest);
    if (size == 0) {
      const size_t next = NextStart(bytes, pos + 1);
      sink.Skipped(bytes.substr(pos, next - pos), true);
      pos = next;
      continue;
    }
    if (rest.size() < size) break;
    sink.Block(rest.substr(0, size));
    pos += size;
  }
  FRemaining.assign(bytes.substr(pos));
}
