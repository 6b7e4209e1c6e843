// The baseline: a C++ program that links nothing beyond the runtime.
int main() {
  return 0;
}
