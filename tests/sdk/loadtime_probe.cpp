// Prints the Modbus log variables as the shared library left them when it was
// loaded into this process; "-" stands for a variable that is not set.
#include <stdio.h>
#include <stdlib.h>

#include "QXUPSSDK.h"

int main() {
    // A call into the library keeps it among the needed libraries even when
    // the linker drops unused ones.
    if (UPS_DeviceClose(nullptr) != InvalidArgument)
        return 2;
    const char* names[] = {"MODBUS_LOGFILE", "MODBUS_LOGMODULES", "MODBUS_LOGLEVELS"};
    for (const char* name : names) {
        const char* value = getenv(name);
        printf("%s=%s\n", name, value != nullptr ? value : "-");
    }
    return 0;
}
