kvpal_add_fuzzer(image_fuzz image_fuzz.cpp SUBSYSTEMS windowing)
# Seeds: the image tests' pictures, made at build time with Pillow.
find_program(KVPAL_DEBIAN_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(image_seeds ${CMAKE_CURRENT_BINARY_DIR}/corpus/image_fuzz)
add_custom_command(OUTPUT ${image_seeds}/profile.icc
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${image_seeds}
  COMMAND ${KVPAL_DEBIAN_PYTHON} ${PROJECT_SOURCE_DIR}/tests/windowing/make_test_images.py ${image_seeds}
  DEPENDS ${PROJECT_SOURCE_DIR}/tests/windowing/make_test_images.py
  COMMENT "Making the image decoder's seed corpus"
  VERBATIM)
add_custom_target(image_fuzz_seeds DEPENDS ${image_seeds}/profile.icc)
add_dependencies(image_fuzz image_fuzz_seeds)
