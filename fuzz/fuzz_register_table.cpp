// Fuzzes the register table reader (config_registers.xml) of the simulator:
// any input must give either a table or a reason, never a crash, and a
// refused input must leave the caller's table as it was.
#include <stdlib.h>

#include <string>
#include <vector>

#include "register_bank.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string xml(reinterpret_cast<const char*>(data), size);
    std::vector<upssim::RegisterDef> table(1);
    std::string error;
    if (!upssim::parseRegisterTable(xml, &table, &error)) {
        if (table.size() != 1 || error.empty()) abort();
    }
    return 0;
}
