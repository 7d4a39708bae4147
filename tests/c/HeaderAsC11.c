// SPDX-License-Identifier: Apache-2.0
// Compiles the public header alone as C11 (its _Static_assert layout checks run here).
#include "Orvane_api.h"

/* ISO C wants at least one declaration in a translation unit. */
typedef int HeaderAsC11Unit;
