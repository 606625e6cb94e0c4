#include "arrays.hpp"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace barometra::python {

void ArrayView::copy_to(double* destination) const noexcept {
  if (contiguous_) {
    std::memcpy(destination, data_, static_cast<std::size_t>(size_) * sizeof(double));
    return;
  }
  for_each([destination](npy_intp i, double x) {
    destination[i] = x;
    return true;
  });
}

PyRef new_array_like(const ArrayView& view) noexcept {
  return PyRef::steal(PyArray_SimpleNew(view.ndim(), view.shape(), NPY_DOUBLE));
}

PyRef new_array(std::span<const double> values, std::span<const npy_intp> shape) noexcept {
  PyRef array = PyRef::steal(PyArray_SimpleNew(static_cast<int>(shape.size()),
                                               const_cast<npy_intp*>(shape.data()), NPY_DOUBLE));
  if (array) {
    const auto size = static_cast<std::size_t>(PyArray_SIZE(reinterpret_cast<PyArrayObject*>(array.get())));
    const std::size_t count = std::min(size, values.size());
    if (count > 0) std::memcpy(array_data(array), values.data(), count * sizeof(double));
  }
  return array;
}

std::vector<double> flat_copy(PyArrayObject* array) {
  const ArrayView view(array);
  std::vector<double> values(static_cast<std::size_t>(view.size()));
  view.copy_to(values.data());
  return values;
}

namespace {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;
// Larger buffers are returned after the call rather than kept.
constexpr std::size_t kKeptScratchBytes = std::size_t{128} << 20;

struct ScratchStore {
  double* data = nullptr;
  std::size_t bytes = 0;

  void release() noexcept {
    std::free(data);
    data = nullptr;
    bytes = 0;
  }
  ~ScratchStore() { release(); }
};

thread_local ScratchStore t_scratch;

}  // namespace

ScratchBuffer::ScratchBuffer(std::size_t count) {
  if (count > (std::numeric_limits<std::size_t>::max() - kHugePageBytes) / sizeof(double)) {
    throw std::bad_alloc();
  }
  const std::size_t needed = count * sizeof(double);
  if (needed > t_scratch.bytes) {
    t_scratch.release();
    // Whole, aligned huge pages, so that the kernel can back them that way.
    const std::size_t bytes = (needed + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    void* memory = std::aligned_alloc(kHugePageBytes, bytes);
    if (memory == nullptr) throw std::bad_alloc();
    (void)madvise(memory, bytes, MADV_HUGEPAGE);  // only advice: ignore failure
    t_scratch.data = static_cast<double*>(memory);
    t_scratch.bytes = bytes;
  }
  data_ = t_scratch.data;
}

ScratchBuffer::~ScratchBuffer() {
  if (t_scratch.bytes > kKeptScratchBytes) t_scratch.release();
}

}  // namespace barometra::python
