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
