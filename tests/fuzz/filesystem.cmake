kvpal_add_fuzzer(mountinfo_fuzz mountinfo_fuzz.cpp)
kvpal_add_fuzzer(paths_fuzz paths_fuzz.cpp)
