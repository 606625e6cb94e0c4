#include "number_format.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

namespace barometra::python {

std::string format_shortest(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0.0 ? "inf" : "-inf";
  // Without a precision, to_chars writes the shortest round-trip digits:
  // [-]d[.ddd]e(+|-)xx.
  char buffer[32];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view text(buffer, written.ptr - buffer);
  std::string out;
  if (text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  const std::size_t e = text.find('e');
  std::string digits(1, text[0]);
  if (e > 1) digits.append(text.substr(2, e - 2));
  const char* exponent_text = text.data() + e + 1;
  if (*exponent_text == '+') ++exponent_text;
  int exponent = 0;
  std::from_chars(exponent_text, text.data() + text.size(), exponent);

  const double magnitude = std::fabs(value);
  if ((magnitude != 0.0 && magnitude < 1e-4) || magnitude >= 1e16) {
    out += digits[0];
    if (digits.size() > 1) out.append(".").append(digits, 1);
    return out.append("e").append(std::to_string(exponent));
  }
  if (exponent < 0) {
    return out.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
  }
  // Below 1e16 the integer part has at most 16 digits.
  const auto integer_digits = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() <= integer_digits) {
    return out.append(digits).append(integer_digits - digits.size(), '0').append(".0");
  }
  return out.append(digits, 0, integer_digits).append(".").append(digits, integer_digits);
}

}  // namespace barometra::python
