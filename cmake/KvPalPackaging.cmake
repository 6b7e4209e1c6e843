# Debian packages of an install tree, made by `cpack -G DEB` (see the README):
#   libkvpal0     the shared library, its backend and probe modules, the
#                 installed manifest and data (install component "runtime")
#   libkvpal-dev  headers, the unversioned link, the CMake package and the
#                 pkg-config file ("dev", where every install rule without a
#                 component lands, so CMake helpers added beside the package
#                 config ship with it)
#   kvpal-tools   the kvpal tool ("tools")
# Runtime dependencies come from dpkg-shlibdeps over the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvpal)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Halvex")
set(CPACK_PACKAGE_CONTACT "KvPal maintainers <maintainers@users.noreply.c-seed-af5f9e2b.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(kvpal_full_version "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkvpal${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The loader cache is refreshed through dpkg's ldconfig trigger; the
# scripts replace the ldconfig calls CPack would write.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/triggers ${PROJECT_SOURCE_DIR}/packaging/postinst
  ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "platform abstraction layer of the design application
libKvPal.so is the library through which the application's executables,
database modules, plug-ins and graphics drivers reach the operating system:
settings store, text encoding and locales, paths and files, plug-in loading,
fonts, memory and locks, diagnostics and event tracing.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkvpal-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libkvpal${PROJECT_VERSION_MAJOR} (= ${kvpal_full_version}), libboost-filesystem-dev (>= 1.74)")
set(CPACK_COMPONENT_DEV_DESCRIPTION "platform abstraction layer of the design application - development files
The public headers, the CMake package KvPal (find_package(KvPal), target
KvPal::KvPal) with its helper functions, and the pkg-config file kvpal.pc
for building modules against libKvPal.so.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kvpal-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# The tool loads the library's backend modules by name, which dpkg-shlibdeps
# cannot see.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libkvpal${PROJECT_VERSION_MAJOR} (= ${kvpal_full_version})")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "platform abstraction layer of the design application - tools
The kvpal command: the platform report (kvpal info), the product identity a
host would get, the settings store (kvpal reg), module images, trace
recording and the installed-font list.")

# Each package carries its copyright file and changelog.
set(kvpal_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog.Debian @ONLY)
execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/packaging/changelog.Debian)
foreach(component runtime dev tools)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${kvpal_changelog}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

include(CPack)
