# Test data made at build time by a Python script (fonts with fontTools,
# pictures with Pillow). The system python3 is named on purpose: the Debian
# packages that provide those modules install for it only.
find_program(KVPAL_DEBIAN_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)

# kvpal_make_test_data(TARGET SCRIPT OUTPUT_DIR STAMP COMMENT): TARGET builds
# OUTPUT_DIR afresh by running SCRIPT OUTPUT_DIR; STAMP is a file (relative
# to OUTPUT_DIR) the script always writes.
function(kvpal_make_test_data target script dir stamp comment)
  if(NOT KVPAL_DEBIAN_PYTHON)
    message(FATAL_ERROR "/usr/bin/python3 is needed to make ${target} (scripts/setup installs it)")
  endif()
  add_custom_command(OUTPUT ${dir}/${stamp}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}
    COMMAND ${KVPAL_DEBIAN_PYTHON} ${script} ${dir}
    DEPENDS ${script}
    COMMENT "${comment}"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${dir}/${stamp})
endfunction()

# kvpal_make_signed_modules(TARGET OUTPUT_DIR [SEEDS_DIR]): TARGET makes the
# signed module fixtures of the code trust tests in OUTPUT_DIR (see
# tests/filesystem/make_signed_modules.py), and copies the modules to
# SEEDS_DIR as a fuzzing corpus when given.
function(kvpal_make_signed_modules target dir)
  find_program(KVPAL_HOST_CC NAMES gcc cc REQUIRED)
  find_program(KVPAL_PE64_CC x86_64-w64-mingw32-gcc REQUIRED)
  find_program(KVPAL_OPENSSL openssl REQUIRED)
  find_program(KVPAL_OSSLSIGNCODE osslsigncode REQUIRED)
  set(script ${PROJECT_SOURCE_DIR}/tests/filesystem/make_signed_modules.py)
  add_custom_command(OUTPUT ${dir}/stamp
    COMMAND ${KVPAL_DEBIAN_PYTHON} ${script} ${dir} ${KVPAL_HOST_CC} ${KVPAL_PE64_CC} ${ARGN}
    DEPENDS ${script}
    COMMENT "Signing the code trust test modules"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${dir}/stamp)
endfunction()
