# kvpal_add_resources(TARGET FILE.rc [DEPENDS files...]): compiles a Windows
# resource script with mingw-w64's windres and links its resource directory
# into TARGET as the section ".rsrc", where the library's resource functions
# find it in the module's file. The same script builds the Windows modules.
# DEPENDS names files the script pulls in (bitmaps, icons) so that a change
# to one rebuilds the resources. Needs Debian's binutils-mingw-w64-x86-64.
function(kvpal_add_resources target rc)
  cmake_parse_arguments(R "" "" "DEPENDS" ${ARGN})
  find_program(KVPAL_WINDRES x86_64-w64-mingw32-windres)
  find_program(KVPAL_MINGW_OBJCOPY x86_64-w64-mingw32-objcopy)
  if(NOT KVPAL_WINDRES OR NOT KVPAL_MINGW_OBJCOPY)
    message(FATAL_ERROR "kvpal_add_resources needs x86_64-w64-mingw32-windres and -objcopy "
                        "(Debian package binutils-mingw-w64-x86-64)")
  endif()
  get_filename_component(rc ${rc} ABSOLUTE)
  get_filename_component(rcdir ${rc} DIRECTORY)
  get_filename_component(stem ${rc} NAME_WE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/kvpal_resources/${target})
  set(blob ${dir}/${stem}.rsrc)
  # windres writes a COFF object whose .rsrc section gives every data entry
  # as an offset from the section's start: that section, copied out, is the
  # resource directory as the library reads it.
  add_custom_command(OUTPUT ${blob}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${KVPAL_WINDRES} --input-format=rc --output-format=coff -I ${rcdir} -i ${rc} -o ${dir}/${stem}.res.o
    COMMAND ${KVPAL_MINGW_OBJCOPY} -O binary -j .rsrc ${dir}/${stem}.res.o ${blob}
    DEPENDS ${rc} ${R_DEPENDS}
    COMMENT "Compiling resources ${rc} for ${target}"
    VERBATIM)
  # A section without the "a" flag takes no memory in the loaded module.
  get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
  if("CXX" IN_LIST languages)
    set(source ${dir}/${stem}_rsrc.cpp)
  else()
    set(source ${dir}/${stem}_rsrc.c)
  endif()
  file(CONFIGURE OUTPUT ${source} CONTENT
    "__asm__(\".pushsection .rsrc,\\\"\\\"\\n.incbin \\\"@blob@\\\"\\n.popsection\");\n" @ONLY)
  set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${blob})
  target_sources(${target} PRIVATE ${source})
endfunction()
