// Calls bound through a module that does not exist.
#include "first_use_fixture.h"

int callUnbound(int value) {
  return fixture_unbound(value);
}
