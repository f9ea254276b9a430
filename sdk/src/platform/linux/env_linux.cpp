// The process environment.
#include <stdlib.h>

#include "../platform.h"

namespace ups {
namespace plat {

bool envSetDefault(const char* name, const char* value) {
    return setenv(name, value, 0) == 0;
}

}  // namespace plat
}  // namespace ups
