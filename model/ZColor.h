// The program's colour value, as the settings file, the dialog and the graph carry it.
#pragma once

#include <cstdint>

// Red in the lowest byte, green in the next, blue in the third.
using TColor = std::uint32_t;
