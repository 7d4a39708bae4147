// SPDX-License-Identifier: Apache-2.0
// Compiles the public header alone as C++ (its static_assert layout checks run here).
#include "Orvane_api.h"
