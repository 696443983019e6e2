#include "devices/QV_TransmitBlock.h"

#include <numeric>

#include "devices/QV_CommonTypes.h"

namespace {

uint32_t LittleEndian(std::string_view bytes, size_t offset, size_t width) {
  uint32_t value = 0;
  for (size_t i = width; i-- > 0;) value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

}  // namespace

uint8_t TQV_TransmitBlock::Scrambler(bool flagVersion) const { return flagVersion ? (X & 0x03) : ((Y >> 18) & 0x03); }

uint16_t TQV_TransmitBlock::MeasurementHeader(bool flagVersion) const {
  uint16_t low = Scrambler(flagVersion) * 16;
  if (flagVersion) low += ((X >> 2) & 0x03) * 64;
  return static_cast<uint16_t>(Type << 8 | low);
}

std::string TQV_TransmitBlock::Payload() const {
  if (Type != btMessage && Type != btNVSRead) return Values;
  if (Values.empty()) return {};
  const size_t len = static_cast<uint8_t>(Values[0]);
  return Values.substr(1, len);
}

std::string TQV_TransmitBlock::Dump() const {
  return std::string(Magic) + " " + IntToHex(Type, 2) + " " + IntToHex(ValueCount, 2) + " " + IntToHex(W, 4) + " " +
         IntToHex(X, 8) + " " + IntToHex(CheckSum(), 2) + " " + IntToHex(UserIdField(), 1) + " " +
         IntToHex((Y >> 18) & 0x03, 1) + " " + IntToHex(BufferPointer(), 5) + " " + AnsiToHex(Values);
}

size_t TransmitBlockSize(std::string_view header) {
  if (header.size() < TQV_TransmitBlock::HeaderSize || header.substr(0, 4) != TQV_TransmitBlock::Magic) return 0;
  const uint8_t count = static_cast<uint8_t>(header[5]);
  if (count > TQV_TransmitBlock::MaxValueCount) return 0;
  return TQV_TransmitBlock::HeaderSize + TQV_TransmitBlock::ValueSize * count;
}

uint8_t TransmitBlockSum(std::string_view block) {
  return std::accumulate(block.begin(), block.end(), uint8_t{0},
                         [](uint8_t sum, char c) { return static_cast<uint8_t>(sum + static_cast<uint8_t>(c)); });
}

bool ParseTransmitBlock(std::string_view block, TQV_TransmitBlock& out) {
  const size_t size = TransmitBlockSize(block);
  if (size == 0 || size != block.size()) return false;
  out.Type = static_cast<uint8_t>(block[4]);
  out.ValueCount = static_cast<uint8_t>(block[5]);
  out.W = static_cast<uint16_t>(LittleEndian(block, 6, 2));
  out.X = LittleEndian(block, 8, 4);
  out.Y = LittleEndian(block, 12, 4);
  out.Values.assign(block.substr(TQV_TransmitBlock::HeaderSize));
  out.Raw.assign(block);
  return true;
}

std::string BuildTransmitBlock(uint8_t type, uint16_t w, uint32_t x, uint32_t y, std::string values) {
  values.resize((values.size() + TQV_TransmitBlock::ValueSize - 1) / TQV_TransmitBlock::ValueSize *
                    TQV_TransmitBlock::ValueSize,
                '\0');
  std::string block(TQV_TransmitBlock::Magic);
  block.push_back(static_cast<char>(type));
  block.push_back(static_cast<char>(values.size() / TQV_TransmitBlock::ValueSize));
  const auto little = [&block](uint32_t value, int width) {
    for (int i = 0; i < width; ++i) block.push_back(static_cast<char>(value >> (8 * i)));
  };
  little(w, 2);
  little(x, 4);
  little(y & 0x00FFFFFF, 4);
  block += values;
  block[15] = static_cast<char>(-TransmitBlockSum(block));
  return block;
}
