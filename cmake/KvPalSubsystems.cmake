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
  # The first-use stubs of the system libraries the objects call.
  foreach(sub IN LISTS closure)
    get_property(stubs TARGET ${sub} PROPERTY KVPAL_FIRST_USE_STUBS)
    list(APPEND closure ${stubs})
  endforeach()
  list(REMOVE_DUPLICATES closure)
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

# kvpal_bind_on_first_use(SUBSYSTEM MODULE name LIBS imported-targets...):
# the subsystem compiles against LIBS but does not link them. The link-only
# module libKvPal<name>.so links them, and every call the subsystems make
# into them goes through a stub that opens that module on its first call
# (cmake/first_use_stubs.sh), so a process pays for loading them only when it
# uses them. Several subsystems may share a module.
function(kvpal_bind_on_first_use subsystem)
  cmake_parse_arguments(F "" "MODULE" "LIBS" ${ARGN})
  set(target kvpal_${subsystem})
  foreach(lib IN LISTS F_LIBS)
    # The stubs are made where every subsystem is known, outside this folder.
    get_target_property(global ${lib} IMPORTED_GLOBAL)
    if(NOT global)
      set_target_properties(${lib} PROPERTIES IMPORTED_GLOBAL TRUE)
    endif()
    target_include_directories(${target} SYSTEM PUBLIC $<TARGET_PROPERTY:${lib},INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target} PUBLIC $<TARGET_PROPERTY:${lib},INTERFACE_COMPILE_DEFINITIONS>)
  endforeach()
  set_property(TARGET ${target} APPEND PROPERTY KVPAL_FIRST_USE_STUBS kvpal_first_use_${F_MODULE})
  get_property(modules GLOBAL PROPERTY KVPAL_FIRST_USE_MODULES)
  if(NOT F_MODULE IN_LIST modules)
    set_property(GLOBAL APPEND PROPERTY KVPAL_FIRST_USE_MODULES ${F_MODULE})
  endif()
  set_property(GLOBAL APPEND PROPERTY KVPAL_FIRST_USE_LIBS_${F_MODULE} ${F_LIBS})
endfunction()

# kvpal_generate_first_use_stubs(OUTPUT MODULE_SOURCE GROUP name MODULE file
#                                LIBRARIES files... OBJECTS files... [DEPENDS targets...]):
# the command that writes OUTPUT, the stubs for the calls OBJECTS make into
# LIBRARIES, bound through the module file MODULE, and MODULE_SOURCE, that
# module's source.
function(kvpal_generate_first_use_stubs output moduleSource)
  cmake_parse_arguments(G "" "GROUP;MODULE" "LIBRARIES;OBJECTS;DEPENDS" ${ARGN})
  set(script ${PROJECT_SOURCE_DIR}/cmake/first_use_stubs.sh)
  add_custom_command(OUTPUT ${output} ${moduleSource}
    COMMAND sh ${script} ${output} ${moduleSource} ${G_GROUP} ${G_MODULE} ${G_LIBRARIES} -- ${G_OBJECTS}
    DEPENDS ${script} ${G_LIBRARIES} ${G_OBJECTS} ${G_DEPENDS}
    COMMENT "Generating the first-use stubs of ${G_GROUP}"
    COMMAND_EXPAND_LISTS VERBATIM)
endfunction()

# kvpal_add_first_use_stubs(): once every subsystem is declared, each
# first-use module and its stubs, made from the calls in all subsystem
# objects.
function(kvpal_add_first_use_stubs)
  get_property(modules GLOBAL PROPERTY KVPAL_FIRST_USE_MODULES)
  get_property(subsystems GLOBAL PROPERTY KVPAL_SUBSYSTEM_TARGETS)
  set(objects)
  foreach(sub IN LISTS subsystems)
    list(APPEND objects $<TARGET_OBJECTS:${sub}>)
  endforeach()
  foreach(module IN LISTS modules)
    get_property(libs GLOBAL PROPERTY KVPAL_FIRST_USE_LIBS_${module})
    list(REMOVE_DUPLICATES libs)
    set(files)
    foreach(lib IN LISTS libs)
      list(APPEND files $<TARGET_FILE:${lib}>)
    endforeach()
    set(stubs ${CMAKE_CURRENT_BINARY_DIR}/first_use_${module}.cpp)
    set(source ${CMAKE_CURRENT_BINARY_DIR}/KvPal${module}.cpp)
    kvpal_generate_first_use_stubs(${stubs} ${source} GROUP ${module} MODULE libKvPal${module}.so
      LIBRARIES ${files} OBJECTS ${objects} DEPENDS ${subsystems})
    add_library(kvpal_first_use_${module} OBJECT ${stubs})
    kvpal_add_backend(${module} ${source} LIBS ${libs})
    # Libraries none of whose functions are bound still come along.
    target_link_options(KvPal${module} PRIVATE -Wl,--no-as-needed)
  endforeach()
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
