// Numbers in reprs: the shortest decimal text that reads back to the same
// double.
#pragma once

#include <string>

namespace barometra::python {

// The shortest round-trip digits with at least one digit after the point
// ("10.0", "0.1", "-2.5", "123456789.0"), or, for a non-zero magnitude below
// 1e-4 or any of 1e16 or more, exponent form without a plus sign or padding
// ("1e-5", "1.5e16"). NaN and the infinities read "NaN", "inf" and "-inf".
// Throws std::bad_alloc.
std::string format_shortest(double value);

}  // namespace barometra::python
