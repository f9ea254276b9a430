// Modbus checksums: CRC-16/MODBUS (sent low byte first) and the ASCII LRC.
#pragma once

#include <stdint.h>

namespace ups {

// Feeds one byte into a running CRC-16/MODBUS that starts at 0xFFFF. A frame
// followed by its CRC (low byte first) brings the running value to zero.
uint16_t crc16Update(uint16_t crc, uint8_t byte);
uint16_t crc16(const uint8_t* bytes, uint16_t count);
// Two's complement of the 8-bit sum of the bytes.
uint8_t lrc8(const uint8_t* bytes, uint16_t count);

}  // namespace ups
