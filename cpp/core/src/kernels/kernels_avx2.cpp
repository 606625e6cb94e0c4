// The vector kernels with 4 lanes, compiled for AVX2 (see CMakeLists.txt).
#include "kernels.hpp"

namespace barometra::detail {
constinit const KernelTable kAvx2Kernels = make_table<4, 16, 4>();
}  // namespace barometra::detail
