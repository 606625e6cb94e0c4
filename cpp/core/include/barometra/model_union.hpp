// What the closed model sets (RtModel, ThermalModel) share: one model of a
// fixed list of types, held by value. The index of each type in the list is
// the model's tag.
#pragma once

#include <cstddef>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>

namespace barometra::detail {

template <class... Models>
class ModelUnion {
 public:
  using Variant = std::variant<Models...>;
  static constexpr std::size_t kModelCount = sizeof...(Models);

  std::size_t tag() const noexcept { return model_.index(); }
  const Variant& variant() const noexcept { return model_; }
  template <class Model>
  const Model* get_if() const noexcept {
    return std::get_if<Model>(&model_);
  }

  const char* model_name() const noexcept {
    return visit([](const auto& m) { return std::remove_cvref_t<decltype(m)>::kName; });
  }
  // Native parameter names in constructor order ("V0", "K0", ... or "Tr", ...).
  std::span<const char* const> parameter_names() const noexcept {
    return visit([](const auto& m) -> std::span<const char* const> {
      return std::remove_cvref_t<decltype(m)>::kParameterNames;
    });
  }

 protected:
  template <class Model>
  explicit ModelUnion(Model model) noexcept : model_(std::move(model)) {}

  template <class F>
  decltype(auto) visit(F&& f) const noexcept {
    return std::visit(std::forward<F>(f), model_);
  }

 private:
  Variant model_;
};

}  // namespace barometra::detail
