// The vector kernels with 8 lanes, compiled for AVX512 (see CMakeLists.txt).
#include "kernels.hpp"

namespace barometra::detail {
constinit const KernelTable kAvx512Kernels = make_table<8, 32, 4>();
}  // namespace barometra::detail
