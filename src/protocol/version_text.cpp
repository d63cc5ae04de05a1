#include "protocol/version_text.h"

#include <cstdio>

namespace protocol {

std::string formatAdapterVersion(const uint8_t* reply) {
    char text[64];
    std::snprintf(text, sizeof text, "V%d.%02d_%2d%02d%d", reply[1], reply[3], reply[5], reply[6],
                  reply[7]);
    return text;
}

std::string formatEscVersion(const uint8_t* reply) {
    char text[64];
    std::snprintf(text, sizeof text, "V%d.%02d_%02d%02d%02d", reply[2], reply[3], reply[4],
                  reply[5], reply[6]);
    return text;
}

}  // namespace protocol
