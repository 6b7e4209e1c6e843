#include "first_use_fixture.h"

double callWeigh(const int (&i)[7], const double (&x)[9]) {
  return fixture_weigh(i[0], i[1], i[2], i[3], i[4], i[5], i[6], x[0], x[1], x[2], x[3], x[4], x[5], x[6],
                       x[7], x[8]);
}

double callSum(double a, double b, double c) {
  return fixture_sum(3, a, b, c);
}

int callTwice(int value) {
  return fixture_twice(value);
}
