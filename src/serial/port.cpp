#include "serial/port.h"

namespace ostrand {

void Port::discardInput() {
    uint8_t scratch[256];
    for (int i = 0; i < 64; ++i) {
        uint32_t n = sizeof scratch;
        if (!readAvailable(scratch, n) || n == 0) break;
    }
}

int Port::switchBaud(uint32_t baud, const uint8_t* send, uint8_t* reply, uint32_t timeoutMs,
                     bool checked) {
    if (send == nullptr || reply == nullptr) return 1;
    (void)writeByte(send, 0, 0);
    if (!readByte(reply, timeoutMs)) return 1;
    if (checked && *reply != *send) return 3;
    return setBaudRate(baud) ? 0 : 2;
}

int Port::switchBaudChecked(uint32_t baud, const uint8_t* send, uint8_t* reply,
                            uint32_t timeoutMs) {
    return switchBaud(baud, send, reply, timeoutMs, true);
}

int Port::switchBaudUnchecked(uint32_t baud, const uint8_t* send, uint8_t* reply,
                              uint32_t timeoutMs) {
    return switchBaud(baud, send, reply, timeoutMs, false);
}

}  // namespace ostrand
