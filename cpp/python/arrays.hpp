// Reading float64 arrays of any shape and strides in logical row-major order,
// building result arrays of the input's shape, and the element-wise maps.
//
// Below a per-method threshold a map walks the input in place on the calling
// thread. At or above it, the input is copied (attached), the thread detaches,
// and the worker pool evaluates contiguous chunks straight into the
// preallocated output; for the batch maps the workers start on the chunks
// already copied while the calling thread copies the rest. Each chunk keeps its first failure as a core error
// value; chunks cover the input in order, so the first failing chunk holds
// the first failing element overall, and only that one becomes an exception,
// after re-attaching. No Python object is touched while detached.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <expected>
#include <limits>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "errors.hpp"
#include "numpy_api.hpp"
#include "worker_pool.hpp"

namespace barometra::python {

// Element counts from which the maps go parallel.
inline constexpr npy_intp kVolumeParallelThreshold = 512;  // RtEos.volume_array
inline constexpr npy_intp kParallelThreshold = 65536;      // other one-input maps
inline constexpr npy_intp kPairParallelThreshold = 2048;   // two-input maps

inline constexpr const char* kShapeMismatchMessage =
    "native array inputs must have matching broadcasted shapes";

namespace detail {

inline double load(const char* address) noexcept {
  double value;  // memcpy: the array may be unaligned
  std::memcpy(&value, address, sizeof value);
  return value;
}

// Visits every element of K arrays of one shape together, in logical
// row-major order: visit(i, std::array<double, K>) -> bool, false stops.
template <std::size_t K, class Visit>
bool walk(int ndim, const npy_intp* shape, const std::array<const char*, K>& data,
          const std::array<const npy_intp*, K>& strides, bool contiguous, Visit& visit) noexcept {
  npy_intp size = 1;
  for (int d = 0; d < ndim; ++d) size *= shape[d];
  if (size == 0) return true;
  std::array<double, K> values;
  if (contiguous || ndim == 0) {
    for (npy_intp i = 0; i < size; ++i) {
      for (std::size_t k = 0; k < K; ++k) values[k] = load(data[k] + i * sizeof(double));
      if (!visit(i, values)) return false;
    }
    return true;
  }
  npy_intp index[NPY_MAXDIMS] = {};
  std::array<const char*, K> row = data;
  const npy_intp inner = shape[ndim - 1];
  npy_intp i = 0;
  for (;;) {
    for (npy_intp j = 0; j < inner; ++j) {
      for (std::size_t k = 0; k < K; ++k) values[k] = load(row[k] + j * strides[k][ndim - 1]);
      if (!visit(i++, values)) return false;
    }
    // Odometer over the outer dimensions, last fastest.
    int d = ndim - 2;
    for (; d >= 0; --d) {
      for (std::size_t k = 0; k < K; ++k) row[k] += strides[k][d];
      if (++index[d] < shape[d]) break;
      for (std::size_t k = 0; k < K; ++k) row[k] -= strides[k][d] * shape[d];
      index[d] = 0;
    }
    if (d < 0) return true;
  }
}

template <class F, class... Args>
using ErrorOf = typename std::invoke_result_t<F&, Args...>::error_type;

template <class Error>
struct ChunkFailure {
  std::optional<Error> error;  // the chunk's first failure, if any
};

inline constexpr std::size_t kMaxChunks = 256;
inline constexpr std::size_t kMinChunkElements = 64;

inline std::size_t chunk_count(std::size_t n, std::size_t workers) noexcept {
  // A few chunks per thread balance uneven element costs (root solving).
  return std::clamp<std::size_t>(n / kMinChunkElements, 1,
                                 std::min(kMaxChunks, 4 * (workers + 1)));
}

// Runs range(begin, end) -> std::optional<Error> (the range's first failure)
// over contiguous chunks of [0, n) on the pool, detached; returns the first
// failure in index order. Chunks cover [0, n) in order, so the first failing
// chunk holds the first failing element.
//
// copy(begin, end) fills [begin, end) of what the ranges read. The calling
// thread runs it over the chunks in order, attached, and detaches after the
// last one; a worker evaluates a chunk once it has been copied, so the
// evaluation of the first chunks overlaps the copy of the later ones.
template <class Range, class Copy>
auto evaluate_ranges_parallel(std::size_t n, Range& range, Copy& copy)
    -> std::invoke_result_t<Range&, std::size_t, std::size_t> {
  using Failure = std::invoke_result_t<Range&, std::size_t, std::size_t>;
  using Error = typename Failure::value_type;
  static_assert(std::is_nothrow_invocable_v<Range&, std::size_t, std::size_t>,
                "ranges run detached and must not throw");
  static_assert(std::is_nothrow_invocable_v<Copy&, std::size_t, std::size_t>);
  static_assert(std::is_nothrow_move_assignable_v<std::optional<Error>>);
  WorkerPool& pool = WorkerPool::instance();  // may allocate: still attached
  const std::size_t chunks = std::min(chunk_count(n, pool.worker_count()), n);
  std::array<ChunkFailure<Error>, kMaxChunks> failures;
  std::atomic<std::uint32_t> copied{0};  // chunks copied so far
  auto body = [&](std::size_t chunk, std::size_t begin, std::size_t end) noexcept {
    for (std::uint32_t c; (c = copied.load(std::memory_order_acquire)) <= chunk;) {
      copied.wait(c, std::memory_order_acquire);
    }
    failures[chunk].error = range(begin, end);
  };
  std::optional<Detached> detached;
  auto copy_then_detach = [&]() noexcept {
    for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
      const auto [begin, end] = WorkerPool::chunk_bounds(n, chunks, chunk);
      copy(begin, end);
      copied.store(static_cast<std::uint32_t>(chunk + 1), std::memory_order_release);
      copied.notify_all();
    }
    detached.emplace();
  };
  pool.parallel_for(n, chunks, body, copy_then_detach);
  detached.reset();
  for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
    if (failures[chunk].error) return std::move(failures[chunk].error);
  }
  return std::nullopt;
}

// As above, over input that is in place already.
template <class Range>
auto evaluate_ranges_parallel(std::size_t n, Range& range)
    -> std::invoke_result_t<Range&, std::size_t, std::size_t> {
  auto nothing = [](std::size_t, std::size_t) noexcept {};
  return evaluate_ranges_parallel(n, range, nothing);
}

// Evaluates element(i) for every i in [0, n) on the pool, detached, writing
// values into out; returns the first failure in index order. Every element
// is evaluated, also after a failure.
template <class Element>
auto evaluate_parallel(std::size_t n, Element& element, double* out)
    -> std::optional<typename std::invoke_result_t<Element&, std::size_t>::error_type> {
  using Error = typename std::invoke_result_t<Element&, std::size_t>::error_type;
  static_assert(std::is_nothrow_invocable_v<Element&, std::size_t>,
                "element functions run detached and must not throw");
  auto range = [&](std::size_t begin, std::size_t end) noexcept {
    std::optional<Error> first;
    for (std::size_t i = begin; i < end; ++i) {
      auto result = element(i);
      if (result) {
        out[i] = *result;
      } else if (!first) {
        first = std::move(result.error());
      }
    }
    return first;
  };
  return evaluate_ranges_parallel(n, range);
}

// Evaluates f on the elements that walk(visit) presents, in logical
// row-major order, writing into out; stops at and returns the first failure.
template <class Error, class Walk, class F>
std::optional<Error> evaluate_in_place(Walk& walk, F& f, double* out) {
  std::optional<Error> failure;
  auto visit = [&](npy_intp i, auto... x) {
    auto result = f(x...);
    if (!result) {
      failure = std::move(result.error());
      return false;
    }
    out[i] = *result;
    return true;
  };
  walk(visit);
  return failure;
}

}  // namespace detail

// A borrowed read-only view of a float64 ndarray (checked by the caller).
// Valid only during the call and only while attached.
class ArrayView {
 public:
  explicit ArrayView(PyArrayObject* array) noexcept
      : ndim_(PyArray_NDIM(array)),
        shape_(PyArray_SHAPE(array)),
        strides_(PyArray_STRIDES(array)),
        data_(static_cast<const char*>(PyArray_DATA(array))),
        size_(PyArray_SIZE(array)),
        contiguous_(PyArray_IS_C_CONTIGUOUS(array) && PyArray_ISALIGNED(array)) {}

  int ndim() const noexcept { return ndim_; }
  const npy_intp* shape() const noexcept { return shape_; }
  // The product of the dimensions; one for a zero-dimensional array.
  npy_intp size() const noexcept { return size_; }
  bool same_shape(const ArrayView& other) const noexcept {
    return ndim_ == other.ndim_ && std::equal(shape_, shape_ + ndim_, other.shape_);
  }

  // visit(i, x) -> bool for every element in logical row-major order; stops
  // early, returning false, when visit does.
  template <class Visit>
  bool for_each(Visit&& visit) const noexcept {
    auto unpack = [&](npy_intp i, const std::array<double, 1>& x) { return visit(i, x[0]); };
    return detail::walk<1>(ndim_, shape_, {data_}, {strides_}, contiguous_, unpack);
  }
  template <class Visit>
  friend bool for_each_pair(const ArrayView& a, const ArrayView& b, Visit&& visit) noexcept {
    auto unpack = [&](npy_intp i, const std::array<double, 2>& x) {
      return visit(i, x[0], x[1]);
    };
    return detail::walk<2>(a.ndim_, a.shape_, {a.data_, b.data_}, {a.strides_, b.strides_},
                           a.contiguous_ && b.contiguous_, unpack);
  }
  // Copies the elements in logical row-major order.
  void copy_to(double* destination) const noexcept;
  // Contiguous in row-major order and aligned: then contiguous_data() is the
  // elements in order.
  bool contiguous() const noexcept { return contiguous_; }
  const double* contiguous_data() const noexcept {
    return reinterpret_cast<const double*>(data_);
  }

 private:
  int ndim_;
  const npy_intp* shape_;
  const npy_intp* strides_;
  const char* data_;
  npy_intp size_;
  bool contiguous_;
};

// A new C-contiguous float64 array of the view's shape (zero-dimensional
// included), or null with a Python error set.
PyRef new_array_like(const ArrayView& view) noexcept;
// A new C-contiguous float64 array of the given shape holding a copy of
// `values` (as many as the shape has elements), or null with an error set.
PyRef new_array(std::span<const double> values, std::span<const npy_intp> shape) noexcept;
// The elements of a float64 array in logical row-major order, flattened.
// Throws std::bad_alloc.
std::vector<double> flat_copy(PyArrayObject* array);
inline double* array_data(const PyRef& array) noexcept {
  return static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get())));
}

// The calling thread's scratch space for parallel input copies. Its pages are
// kept for the next call (faulting fresh pages in costs more than the copy
// itself) up to a limit, and are backed by huge pages where the system allows.
// Throws std::bad_alloc; use while attached, one at a time per thread.
class ScratchBuffer {
 public:
  explicit ScratchBuffer(std::size_t count);
  ~ScratchBuffer();
  ScratchBuffer(const ScratchBuffer&) = delete;
  ScratchBuffer& operator=(const ScratchBuffer&) = delete;
  double* data() const noexcept { return data_; }

 private:
  double* data_;
};

// One-input map: f(double) -> std::expected<double, E>, noexcept, with E an
// EosError or an ExceptionRequest (anything with a to_exception overload).
// On the parallel path f runs on workers, where nothing may throw: prefer
// error values that own no memory (EosError) over an ExceptionRequest, whose
// message string may allocate.
// Returns a new reference or null with the first failing element's exception set.
template <class F>
PyObject* map_array(PyArrayObject* input, npy_intp threshold, F f) {
  using Error = detail::ErrorOf<F, double>;
  static_assert(std::is_nothrow_invocable_v<F&, double>, "element functions must not throw");
  const ArrayView view(input);
  PyRef output = new_array_like(view);
  if (!output) return nullptr;
  double* out = array_data(output);
  const npy_intp n = view.size();
  if (n < threshold) {
    auto walk = [&view](auto& visit) { return view.for_each(visit); };
    if (auto failure = detail::evaluate_in_place<Error>(walk, f, out)) {
      return raise(to_exception(*failure));
    }
    return output.release();
  }
  ScratchBuffer scratch(static_cast<std::size_t>(n));
  const double* in = scratch.data();
  view.copy_to(scratch.data());
  auto element = [&](std::size_t i) noexcept { return f(in[i]); };
  if (auto failure = detail::evaluate_parallel(static_cast<std::size_t>(n), element, out)) {
    return raise(to_exception(*failure));
  }
  return output.release();
}

// One-input map over a batch function, batch(const double* in, double* out,
// std::size_t n) noexcept -> an optional failure {index, error}, which
// evaluates in order, stops at the first failing element and may run in
// place (in == out). The input is read in logical row-major order into the
// output array, unless it is contiguous and small enough to be read where it
// is, and the batch runs over that; at or above the threshold it runs
// detached on the worker pool, in chunks that resume after a failure so that
// every element is evaluated. The first failure in element order becomes the
// exception. Returns a new reference or null with the exception set.
template <class Batch>
PyObject* map_array_batch(PyArrayObject* input, npy_intp threshold, Batch batch) {
  static_assert(std::is_nothrow_invocable_v<Batch&, const double*, double*, std::size_t>,
                "batch functions must not throw");
  const ArrayView view(input);
  PyRef output = new_array_like(view);
  if (!output) return nullptr;
  double* out = array_data(output);
  const auto n = static_cast<std::size_t>(view.size());
  if (view.size() < threshold) {
    const double* in = out;
    if (view.contiguous()) {
      in = view.contiguous_data();
    } else {
      view.copy_to(out);
    }
    if (auto failure = batch(in, out, n)) return raise(to_exception(failure->error));
    return output.release();
  }
  // The copy into the output is what the workers read; it is made attached.
  auto copy = [&](std::size_t begin, std::size_t end) noexcept {
    if (view.contiguous()) {
      std::memcpy(out + begin, view.contiguous_data() + begin, (end - begin) * sizeof(double));
    } else if (begin == 0) {
      view.copy_to(out);  // a strided walk is not split
    }
  };
  auto element_range = [&](std::size_t begin, std::size_t end) noexcept {
    using Error = std::remove_cvref_t<decltype(batch(out, out, n)->error)>;
    std::optional<Error> first;
    while (begin < end) {
      auto failure = batch(out + begin, out + begin, end - begin);
      if (!failure) break;
      if (!first) first = failure->error;
      begin += failure->index + 1;
    }
    return first;
  };
  if (auto failure = detail::evaluate_ranges_parallel(n, element_range, copy)) {
    return raise(to_exception(*failure));
  }
  return output.release();
}

// Two-input map over a batch function, batch(const double* a, const double* b,
// double* out, std::size_t n) noexcept -> an optional failure {index, error},
// with the contract of map_array_batch's (out may be a). The arrays must have
// one shape (no broadcasting). Below kPairParallelThreshold the batch runs on
// the calling thread, over the inputs where they are when both are
// contiguous, else over blocks of them read in logical row-major order. From
// the threshold on, the first input is read into the output and the second
// into scratch space, and the batch runs detached on the worker pool in
// chunks that resume after a failure.
template <class Batch>
PyObject* map_array2_batch(PyArrayObject* first, PyArrayObject* second, Batch batch) {
  static_assert(
      std::is_nothrow_invocable_v<Batch&, const double*, const double*, double*, std::size_t>,
      "batch functions must not throw");
  using Error = std::remove_cvref_t<decltype(batch(nullptr, nullptr, nullptr, 0)->error)>;
  const ArrayView a(first), b(second);
  if (!a.same_shape(b)) return raise(python_validation_error(kShapeMismatchMessage));
  PyRef output = new_array_like(a);
  if (!output) return nullptr;
  double* out = array_data(output);
  const auto n = static_cast<std::size_t>(a.size());
  if (a.size() < kPairParallelThreshold) {
    if (a.contiguous() && b.contiguous()) {
      if (auto failure = batch(a.contiguous_data(), b.contiguous_data(), out, n)) {
        return raise(to_exception(failure->error));
      }
      return output.release();
    }
    constexpr std::size_t kBlock = 256;
    std::array<double, kBlock> xs, ys;
    std::size_t filled = 0, done = 0;
    std::optional<Error> failure;
    auto flush = [&]() noexcept {
      if (auto f = batch(xs.data(), ys.data(), out + done, filled)) failure = f->error;
      done += filled;
      filled = 0;
      return !failure;
    };
    for_each_pair(a, b, [&](npy_intp, double x, double y) noexcept {
      xs[filled] = x;
      ys[filled] = y;
      return ++filled < kBlock || flush();
    });
    if (!failure && filled > 0) flush();
    if (failure) return raise(to_exception(*failure));
    return output.release();
  }
  ScratchBuffer scratch(n);
  double* seconds = scratch.data();
  a.copy_to(out);
  b.copy_to(seconds);
  auto element_range = [&](std::size_t begin, std::size_t end) noexcept {
    std::optional<Error> first_failure;
    while (begin < end) {
      auto failure = batch(out + begin, seconds + begin, out + begin, end - begin);
      if (!failure) break;
      if (!first_failure) first_failure = failure->error;
      begin += failure->index + 1;
    }
    return first_failure;
  };
  if (auto failure = detail::evaluate_ranges_parallel(n, element_range)) {
    return raise(to_exception(*failure));
  }
  return output.release();
}

// Two-input map over arrays of one shape (no broadcasting): f(double, double)
// -> std::expected<double, E>, noexcept. Parallel from kPairParallelThreshold.
template <class F>
PyObject* map_array2(PyArrayObject* first, PyArrayObject* second, F f) {
  using Error = detail::ErrorOf<F, double, double>;
  static_assert(std::is_nothrow_invocable_v<F&, double, double>,
                "element functions must not throw");
  const ArrayView a(first), b(second);
  if (!a.same_shape(b)) return raise(python_validation_error(kShapeMismatchMessage));
  PyRef output = new_array_like(a);
  if (!output) return nullptr;
  double* out = array_data(output);
  const npy_intp n = a.size();
  if (n < kPairParallelThreshold) {
    auto walk = [&a, &b](auto& visit) { return for_each_pair(a, b, visit); };
    if (auto failure = detail::evaluate_in_place<Error>(walk, f, out)) {
      return raise(to_exception(*failure));
    }
    return output.release();
  }
  const auto count = static_cast<std::size_t>(n);
  if (count > std::numeric_limits<std::size_t>::max() / 2) throw std::bad_alloc();
  ScratchBuffer scratch(2 * count);
  const double* xs = scratch.data();
  const double* ys = scratch.data() + count;
  a.copy_to(scratch.data());
  b.copy_to(scratch.data() + count);
  auto element = [&](std::size_t i) noexcept { return f(xs[i], ys[i]); };
  if (auto failure = detail::evaluate_parallel(count, element, out)) {
    return raise(to_exception(*failure));
  }
  return output.release();
}

}  // namespace barometra::python
