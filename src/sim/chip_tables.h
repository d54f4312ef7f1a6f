// The simulated chip's protocol tables and the small helpers its boot program
// and its WCPs share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace ostrand::sim {

// The boot program's commands by boot type and column.
extern const uint8_t kCommands[13][10];
extern const uint8_t kNoise[3];
constexpr uint32_t kMaxTransfer = 16u << 20;

bool ownRate(int32_t bt);
// A WCP loaded by the RAM transfer needs time to start; the host waits
// 100, 200 or 333 ms after the transfer's answer. The chip is ready after
// nine tenths of that and hears nothing before: a host that does not wait
// loses its first command.
int startUpMs(int32_t bt);
bool fixedPasswordType(int32_t bt);
bool among(int32_t bt, std::initializer_list<int32_t> set);
// Rates at which the boot program recognises its matching byte.
bool matchRate(int32_t bt, uint32_t rate);
uint8_t twosComplementSum(const uint8_t* data, size_t n);
std::string hex2(uint32_t v);

}  // namespace ostrand::sim
