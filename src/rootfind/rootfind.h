// Root finding: the bracketing zero finder used for every cut-off search, and
// the machine constants of IEEE double arithmetic that it needs.
#pragma once

#include <cstdint>
#include <type_traits>

namespace fourfifths {

// An equation in one unknown: takes the abscissa by reference, returns F(x).
// A reference to any such callable (a function, or a lambda over the state of
// one analysis), valid while the callable lives; it owns nothing.
class Equation {
 public:
  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, Equation>)
  Equation(F&& f)  // NOLINT: implicit, so that a callable can be passed as it is
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* object, double& x) -> double {
          return (*static_cast<std::remove_reference_t<F>*>(object))(x);
        }) {}
  Equation(double (*f)(double&))  // NOLINT: a plain function
      : object_(reinterpret_cast<void*>(f)), call_([](void* object, double& x) -> double {
          return reinterpret_cast<double (*)(double&)>(object)(x);
        }) {}

  double operator()(double& x) const { return call_(object_, x); }

 private:
  void* object_;
  double (*call_)(void*, double&);
};

// Searches the bracket [b, c] for a zero of f, starting from the guess r when
// it lies strictly inside. On return b is the best approximation and c the
// other end of the final bracket. re and ae are the relative and absolute
// error tolerances. iflag: 1 zero found, 2 f(b) exactly 0, 3 possible pole,
// 4 no sign change, 5 evaluation limit (500) reached.
void dfzero(Equation f, double& b, double& c, double& r, double& re, double& ae, int32_t& iflag);

// The i-th machine constant (1 to 5) of IEEE double arithmetic; NaN for any
// other index, which names no constant.
double d1mach(int32_t& i);

}  // namespace fourfifths
