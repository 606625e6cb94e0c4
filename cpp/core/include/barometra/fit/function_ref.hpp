// A non-owning reference to the caller's function, two pointers wide, so
// that the fitting code is compiled once whatever the function and no call
// allocates. It binds like a reference: the function must outlive it.
#pragma once

#include <type_traits>
#include <utility>

namespace barometra::detail {

template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
 public:
  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> &&
             std::is_invocable_r_v<R, F&, Args...>)
  FunctionRef(F& function) noexcept  // NOLINT: binds like a reference
      : object_(static_cast<void*>(&function)), call_(&invoke<F>) {}

  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  template <class F>
  static R invoke(void* object, Args... args) {
    return (*static_cast<F*>(object))(std::forward<Args>(args)...);
  }

  void* object_;
  R (*call_)(void*, Args...);
};

}  // namespace barometra::detail
