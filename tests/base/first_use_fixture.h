// A library reached through first-use stubs, and the callers the stubs are
// made from (they stand for the library's own objects).
#pragma once

extern "C" {
double fixture_weigh(int a, int b, int c, int d, int e, int f, int g, double x0, double x1, double x2,
                     double x3, double x4, double x5, double x6, double x7, double x8);
double fixture_sum(int count, ...);
int fixture_twice(int value);
int fixture_unbound(int value);
}

double callWeigh(const int (&i)[7], const double (&x)[9]);
double callSum(double a, double b, double c);
int callTwice(int value);
int callUnbound(int value);
