#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Small blocking IPv4 socket steps of the data-protocol client: every call returns at the latest
// after its time limit, and reading a line never holds more than its limit in memory.
namespace TcpSocket {

void Close(int& fd);
// A connected socket or -1 with errno set.
int Connect(const std::string& ip, uint16_t port, uint32_t limitMs);
// A socket listening on all IPv4 interfaces (port 0: any free port) or -1 with errno set; `actual`
// receives the port listened on.
int Listen(uint16_t port, uint16_t& actual);
bool SendAll(int fd, std::string_view bytes);
bool WaitReadable(int fd, uint32_t ms);
// Dotted address of either end, and the port.
std::string LocalAddress(int fd, uint16_t* port = nullptr);
std::string PeerAddress(int fd, uint16_t* port = nullptr);

enum class TLineRead { Line, Closed, TimedOut, TooLong };
// One line ended by LF (a CR before it is dropped), waiting up to limitMs for it.
TLineRead ReadLine(int fd, uint32_t limitMs, size_t maxLength, std::string& line);

}  // namespace TcpSocket
