# Subsystem libraries and the rules that keep their layering honest.
#
# Each subsystem folder under src/ builds one object library, kvpal_<name>
# (settings/propertytree gives kvpal_propertytree). Its internal headers are
# reached as "<folder>/<header>.h" through an include folder that holds only
# that subsystem, and that folder passes only to the subsystems and targets
# that link it: a backwards include does not find its header.

# kvpal_add_subsystems([EXCEPT folders...]): adds this folder's subsystem
# folders in KVPAL_SUBSYSTEMS order. Under src/ each listed folder must exist;
# under tests/ and bench/ one may be absent, but a present folder that is
# neither listed nor excepted is an error, so a mistyped name cannot be
# skipped without notice.
function(kvpal_add_subsystems)
  cmake_parse_arguments(A "" "" "EXCEPT" ${ARGN})
  foreach(sub IN LISTS KVPAL_SUBSYSTEMS)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/CMakeLists.txt)
      add_subdirectory(${sub})
    elseif(CMAKE_CURRENT_SOURCE_DIR STREQUAL "${PROJECT_SOURCE_DIR}/src")
      message(FATAL_ERROR "KVPAL_SUBSYSTEMS names '${sub}', but src/${sub}/CMakeLists.txt does not exist")
    endif()
  endforeach()
  file(GLOB lists RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
    ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt ${CMAKE_CURRENT_SOURCE_DIR}/*/*/CMakeLists.txt)
  foreach(list IN LISTS lists)
    get_filename_component(folder ${list} DIRECTORY)
    get_filename_component(parent ${folder} DIRECTORY)
    if(folder IN_LIST KVPAL_SUBSYSTEMS OR folder IN_LIST A_EXCEPT)
      continue()
    endif()
    # Only folders directly under a subsystem can be subsystems themselves.
    if(parent STREQUAL "" OR parent IN_LIST KVPAL_SUBSYSTEMS)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${folder} is not in KVPAL_SUBSYSTEMS")
    endif()
  endforeach()
endfunction()

# kvpal_add_subsystem(NAME SOURCES... [DEPENDS subsystems...]): the object
# library of the calling folder. DEPENDS names earlier subsystems only.
function(kvpal_add_subsystem name)
  cmake_parse_arguments(S "" "" "SOURCES;DEPENDS" ${ARGN})
  set(target kvpal_${name})
  add_library(${target} OBJECT ${S_SOURCES} ${S_UNPARSED_ARGUMENTS})
  foreach(dep IN LISTS S_DEPENDS)
    if(NOT TARGET kvpal_${dep})
      message(FATAL_ERROR "subsystem ${name} uses ${dep}, which is not a subsystem listed before it")
    endif()
    target_link_libraries(${target} PUBLIC kvpal_${dep})
  endforeach()
  # <build>/internal/<name>/<folder> links to src/<folder>: the subsystem's
  # include folder, withheld from targets that use public headers only.
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/internal/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<BUILD_INTERFACE:$<$<NOT:$<BOOL:$<TARGET_PROPERTY:KVPAL_PUBLIC_HEADERS_ONLY>>>:${root}>>)
  set_property(GLOBAL APPEND PROPERTY KVPAL_SUBSYSTEM_TARGETS ${target})
  set_property(TARGET ${target} PROPERTY KVPAL_SUBSYSTEM_DEPENDS ${S_DEPENDS})
endfunction()

# kvpal_link_subsystems(TARGET [subsystems...]): links the objects of the
# named subsystems and of everything they use (all subsystems when none is
# named) into TARGET, with their include folders.
function(kvpal_link_subsystems target)
  if(ARGN)
    set(pending ${ARGN})
    set(closure)
    while(pending)
      list(POP_FRONT pending sub)
      if(NOT TARGET kvpal_${sub})
        message(FATAL_ERROR "${target} links '${sub}', which is not a subsystem")
      endif()
      if(NOT kvpal_${sub} IN_LIST closure)
        list(APPEND closure kvpal_${sub})
        get_property(deps TARGET kvpal_${sub} PROPERTY KVPAL_SUBSYSTEM_DEPENDS)
        list(APPEND pending ${deps})
      endif()
    endwhile()
  else()
    get_property(closure GLOBAL PROPERTY KVPAL_SUBSYSTEM_TARGETS)
  endif()
  target_link_libraries(${target} PRIVATE ${closure})
  # The backend modules the objects load on first use: built with them, and
  # found by a program linking the objects through its run path.
  get_target_property(type ${target} TYPE)
  get_property(backends GLOBAL PROPERTY KVPAL_BACKEND_TARGETS)
  if(backends AND NOT type STREQUAL "MODULE_LIBRARY")
    add_dependencies(${target} ${backends})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set_property(TARGET ${target} APPEND PROPERTY BUILD_RPATH ${PROJECT_BINARY_DIR}/src)
  endif()
endfunction()

# kvpal_add_backend(NAME SOURCES... [DEPENDS subsystems...] [LIBS libs...]):
# libKvPal<NAME>.so, a private module of the calling subsystem over a heavy
# system library, which the library opens on first use
# (base/backend_module.h). It sees the subsystem's internal headers and links
# the objects of the DEPENDS subsystems; it is built and installed beside
# libKvPal.so.
function(kvpal_add_backend name)
  cmake_parse_arguments(B "" "" "SOURCES;DEPENDS;LIBS" ${ARGN})
  set(target KvPal${name})
  add_library(${target} MODULE ${B_SOURCES} ${B_UNPARSED_ARGUMENTS})
  get_filename_component(subsystem ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/include ${PROJECT_BINARY_DIR}/internal/${subsystem})
  if(B_DEPENDS)
    kvpal_link_subsystems(${target} ${B_DEPENDS})
  endif()
  target_link_libraries(${target} PRIVATE ${B_LIBS})
  set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/src)
  # A shared object in a library folder names itself (a Debian rule).
  target_link_options(${target} PRIVATE -Wl,-soname,$<TARGET_FILE_NAME:${target}>)
  install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime)
  set_property(GLOBAL APPEND PROPERTY KVPAL_BACKEND_TARGETS ${target})
endfunction()

# kvpal_expose_internal_headers(TARGET headers...): TARGET sees public headers
# only, plus the named internal ones (paths relative to src/).
function(kvpal_expose_internal_headers target)
  set_property(TARGET ${target} PROPERTY KVPAL_PUBLIC_HEADERS_ONLY ON)
  set(root ${CMAKE_CURRENT_BINARY_DIR}/${target}_internal)
  foreach(header IN LISTS ARGN)
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/src/${header})
      message(FATAL_ERROR "${target} exposes src/${header}, which does not exist")
    endif()
    get_filename_component(dir ${root}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${header} ${root}/${header} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PRIVATE ${root})
endfunction()
