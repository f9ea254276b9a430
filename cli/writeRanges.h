// The product's name and its register ranges for `upsctl write`, from the
// product and register tables of the data folder, read as the program and
// the NUT driver read them.
#pragma once

#include <stdint.h>

#include <string>

// Whether values[0..count) may be written from address on, on a module of
// deviceType. False, with *refusal naming the register and the range, when a
// value lies outside the range its product's table gives. True with *note
// saying why when no table could be read: only the 16-bit range holds then.
bool writeRangesAllow(uint16_t deviceType, unsigned long address, const uint16_t* values, int count,
                      std::string* refusal, std::string* note);

// The product's title for a device type (configs/config_product.xml), as the
// program's window shows it; false when the table cannot be read or does not
// list it (always on Windows, whose build reads no tables).
bool productTitle(uint16_t deviceType, std::string* title);
