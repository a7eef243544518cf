#include "testkit/fixed_clock.h"
