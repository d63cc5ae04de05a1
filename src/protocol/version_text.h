#pragma once
// The version texts shown in the adapter's (1017) and the ESC's (1016) version fields.

#include <cstdint>
#include <string>

namespace protocol {

// "V%d.%02d_%2d%02d%d" from bytes 1, 3, 5, 6, 7 of the adapter's version reply; `reply`
// must have at least 8 readable bytes (the receive buffer reads 0 behind a short reply).
std::string formatAdapterVersion(const uint8_t* reply);
// "V%d.%02d_%02d%02d%02d" from bytes 2 … 6 of the ESC's 7-byte version reply.
std::string formatEscVersion(const uint8_t* reply);

}  // namespace protocol
