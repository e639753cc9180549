// A sample for the C++ lexer: templates, lambdas, raw strings, literals.
#include <string_view>
#include <vector>
#if __cplusplus >= 202002L
#  include <concepts>
#endif

namespace demo {

template <typename T>
concept Number = std::integral<T> || std::floating_point<T>;

class Shape {
public:
  virtual ~Shape() = default;
  [[nodiscard]] virtual double area() const noexcept = 0;
};

template <Number T>
constexpr T square(T x) { return x * x; }

struct Circle final : Shape {
  explicit Circle(double r) : r_(r) {}
  double area() const noexcept override { return 3.141'592'653 * square(r_); }
private:
  double r_ = 0.0;
};

auto describe(const std::vector<int>& v) -> std::string_view {
  static constexpr auto json = R"json({"key": "va)lue"})json";
  const char8_t* utf = u8"text";
  const char16_t* wide = u"wide";
  auto count = 0x1'FFu + 0b1100'0011 + 1'000'000ULL + 017;
  auto sum = [&v](auto init) mutable {
    for (int x : v) { init += x; }
    return init;
  };
  (void) utf; (void) wide; (void) sum(count);
  return v.empty() ? R"(empty)" : json;
}

}  // namespace demo
