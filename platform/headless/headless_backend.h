// Factory of the headless backend, for the backend table.
#pragma once

#include "platform/backend.h"

namespace headless {
platform::Backend* CreateBackend();
}
