kvpal_add_fuzzer(image_fuzz image_fuzz.cpp SUBSYSTEMS windowing)
# Seeds: the image tests' pictures, made at build time with Pillow.
set(image_seeds ${CMAKE_CURRENT_BINARY_DIR}/corpus/image_fuzz)
kvpal_make_test_data(image_fuzz_seeds ${PROJECT_SOURCE_DIR}/tests/windowing/make_test_images.py ${image_seeds}
  profile.icc "Making the image decoder's seed corpus")
add_dependencies(image_fuzz image_fuzz_seeds)
