// The vector kernels with 2 lanes, compiled for SSE2 (see CMakeLists.txt).
#include "kernels.hpp"

namespace barometra::detail {
constinit const KernelTable kSse2Kernels = make_table<2, 4, 2>();
}  // namespace barometra::detail
