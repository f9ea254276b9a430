// Why the driver could not open the module's port, in words an administrator can act on.
#pragma once

#include <string>

#include "upsConf.h"

namespace portcheck {

// rc is the result of the failed open. Looks at the device (exists, access for
// the user the driver runs as) without opening it.
std::string openFailureReason(const nutconf::Settings& settings, int rc);

}  // namespace portcheck
