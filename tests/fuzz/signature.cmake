kvpal_add_fuzzer(signature_fuzz signature_fuzz.cpp SUBSYSTEMS trust)
# Seeds: the code trust tests' signed and damaged modules, made at build time.
kvpal_make_signed_modules(signature_fuzz_seeds ${CMAKE_CURRENT_BINARY_DIR}/signed
  ${CMAKE_CURRENT_BINARY_DIR}/corpus/signature_fuzz)
add_dependencies(signature_fuzz signature_fuzz_seeds)
