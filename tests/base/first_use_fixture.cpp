// The fixture library: each argument weighed by its position, so an argument
// lost or moved on the way changes the answer.
#include "first_use_fixture.h"

#include <cstdarg>

extern "C" {

double fixture_weigh(int a, int b, int c, int d, int e, int f, int g, double x0, double x1, double x2,
                     double x3, double x4, double x5, double x6, double x7, double x8) {
  return a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * x0 + 9 * x1 + 10 * x2 + 11 * x3 + 12 * x4 +
         13 * x5 + 14 * x6 + 15 * x7 + 16 * x8;
}

double fixture_sum(int count, ...) {
  va_list args;
  va_start(args, count);
  double sum = 0;
  for (int i = 0; i < count; ++i) sum += (i + 1) * va_arg(args, double);
  va_end(args);
  return sum;
}

int fixture_twice(int value) {
  return 2 * value;
}

int fixture_unbound(int value) {
  return value;
}
}
