// The store fixture under the name the store tool's tests include.
#pragma once

#include "../calendar/WorkStore.h"
