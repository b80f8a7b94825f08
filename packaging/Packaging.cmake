# Install rules and the two Debian packages (cpack -G DEB in the build tree, or the target "package"):
#
#   tarvik          the service: /opt/tarvik (the program, the PDF library, the printing side's
#                   helper, the file naming the data folder), the installer program /usr/sbin/msiexec,
#                   the systemd unit, tmpfiles.d, the man pages; no desktop library among its Depends
#   tarvik-desktop  the tray module and the log viewer in /opt/tarvik, the menu and autostart entries;
#                   depends on the very same version of tarvik
#
# Code lies in /opt/tarvik, root's alone; the variable data (settings, log, crash dumps) in
# /var/opt/tarvik, owned by the service account tarvik, which the maintainer scripts create. Included
# last from the root CMakeLists.txt, so that every target exists. Every install rule of the project
# lives here and names its component (service or desktop).

# The packages carry the project's version (the one `tarvik --version` prints).
if(PROJECT_VERSION)
  set(TARVIK_VERSION ${PROJECT_VERSION})
else()
  set(TARVIK_VERSION 0.2.0)
endif()
# The version that brought the service account, the data folder in /var/opt/tarvik and the desktop
# in a package of its own: files of older tarvik packages now belong to tarvik-desktop.
set(TARVIK_SPLIT_VERSION 0.2.0)
# The uninstall entry's key; fixed for the life of the product, so that every version finds it.
set(TARVIK_PRODUCT_CODE "{B64ED0C7-18D7-4EB5-A99D-3950B238FA3F}")
set(TARVIK_MAINTAINER "Tarvik developers <tarvik@veltrane.example>")
# The data folder that the package gives the program (written into /opt/tarvik/tarvik.datadir).
set(TARVIK_DATA_DIR /var/opt/tarvik)

set(TARVIK_PKG_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TARVIK_PKG_GEN ${CMAKE_BINARY_DIR}/packaging)

# The programs and modules of the desktop package; every other program or shared library that the
# build puts into bin/ belongs to the service package.
set(TARVIK_DESKTOP_TARGETS tarvik_tray logvista)

# Every program and shared library that the build puts into bin/ (the service, the PDF library, the
# log viewer, ...), found among the targets of the source tree outside tests/ and bench/.
function(tarvik_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    tarvik_collect_targets(${sub} subtargets)
    list(APPEND targets ${subtargets})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()
tarvik_collect_targets(${CMAKE_SOURCE_DIR} TARVIK_ALL_TARGETS)
set(TARVIK_SERVICE_BIN_TARGETS "")
set(TARVIK_DESKTOP_BIN_TARGETS "")
foreach(target IN LISTS TARVIK_ALL_TARGETS)
  get_target_property(type ${target} TYPE)
  get_target_property(source ${target} SOURCE_DIR)
  if(source MATCHES "^${CMAKE_SOURCE_DIR}/(tests|bench)(/|$)" OR target STREQUAL "msiexec")
    continue()
  endif()
  if(type STREQUAL "EXECUTABLE")
    get_target_property(output ${target} RUNTIME_OUTPUT_DIRECTORY)
  elseif(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    get_target_property(output ${target} LIBRARY_OUTPUT_DIRECTORY)
  else()
    continue()
  endif()
  if(NOT output STREQUAL "${CMAKE_BINARY_DIR}/bin")
    continue()
  endif()
  if(target IN_LIST TARVIK_DESKTOP_TARGETS)
    list(APPEND TARVIK_DESKTOP_BIN_TARGETS ${target})
  else()
    list(APPEND TARVIK_SERVICE_BIN_TARGETS ${target})
  endif()
endforeach()
if(TARVIK_SERVICE_BIN_TARGETS)
  install(TARGETS ${TARVIK_SERVICE_BIN_TARGETS} COMPONENT service
    RUNTIME DESTINATION opt/tarvik LIBRARY DESTINATION opt/tarvik)
endif()
if(TARVIK_DESKTOP_BIN_TARGETS)
  install(TARGETS ${TARVIK_DESKTOP_BIN_TARGETS} COMPONENT desktop
    RUNTIME DESTINATION opt/tarvik LIBRARY DESTINATION opt/tarvik)
endif()
# The installer program that `tarvik -x` runs lies in the system folder.
if(TARGET msiexec)
  install(TARGETS msiexec COMPONENT service RUNTIME DESTINATION usr/sbin)
endif()
message(STATUS "Package tarvik: /opt/tarvik gets ${TARVIK_SERVICE_BIN_TARGETS}")
message(STATUS "Package tarvik-desktop: /opt/tarvik gets ${TARVIK_DESKTOP_BIN_TARGETS}")

# Generated files: the data folder's name, the maintainer scripts (each carries the shared part with
# the names filled in), the changelog and the man pages compressed as Debian wants them.
file(WRITE ${TARVIK_PKG_GEN}/tarvik.datadir "${TARVIK_DATA_DIR}\n")
file(READ ${TARVIK_PKG_DIR}/debian/common.sh TARVIK_PKG_COMMON)
string(CONFIGURE "${TARVIK_PKG_COMMON}" TARVIK_PKG_COMMON @ONLY)
foreach(script preinst postinst prerm postrm)
  configure_file(${TARVIK_PKG_DIR}/debian/${script}.in ${TARVIK_PKG_GEN}/service/${script} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
configure_file(${TARVIK_PKG_DIR}/debian/desktop.conffiles ${TARVIK_PKG_GEN}/desktop/conffiles COPYONLY)
configure_file(${TARVIK_PKG_DIR}/debian/changelog.in ${TARVIK_PKG_GEN}/changelog @ONLY)
find_program(TARVIK_GZIP gzip REQUIRED)
set(TARVIK_PKG_GZIPPED "")
foreach(pair "changelog:${TARVIK_PKG_GEN}/changelog" "tarvik.8:${TARVIK_PKG_DIR}/tarvik.8"
    "msiexec.8:${TARVIK_PKG_DIR}/msiexec.8")
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 source)
  # -n: no name or time stamp in the header, so that the same source gives the same package.
  add_custom_command(OUTPUT ${TARVIK_PKG_GEN}/${name}.gz
    COMMAND ${TARVIK_GZIP} -9n -c ${source} > ${TARVIK_PKG_GEN}/${name}.gz
    DEPENDS ${source} VERBATIM)
  list(APPEND TARVIK_PKG_GZIPPED ${TARVIK_PKG_GEN}/${name}.gz)
endforeach()
add_custom_target(tarvik_package_files ALL DEPENDS ${TARVIK_PKG_GZIPPED})

# The service package.
install(FILES ${TARVIK_PKG_GEN}/tarvik.datadir DESTINATION opt/tarvik COMPONENT service)
install(FILES ${TARVIK_PKG_DIR}/tarvik.service DESTINATION lib/systemd/system COMPONENT service)
install(FILES ${TARVIK_PKG_DIR}/tarvik-tmpfiles.conf DESTINATION usr/lib/tmpfiles.d RENAME tarvik.conf
  COMPONENT service)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/printer-queue.sh DESTINATION usr/share/tarvik COMPONENT service)
install(FILES ${TARVIK_PKG_GEN}/tarvik.8.gz ${TARVIK_PKG_GEN}/msiexec.8.gz DESTINATION usr/share/man/man8
  COMPONENT service)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${TARVIK_PKG_DIR}/debian/copyright ${TARVIK_PKG_GEN}/changelog.gz
  DESTINATION usr/share/doc/tarvik COMPONENT service)
install(FILES ${TARVIK_PKG_DIR}/debian/tarvik.lintian-overrides DESTINATION usr/share/lintian/overrides
  RENAME tarvik COMPONENT service)

# The desktop package.
install(FILES ${TARVIK_PKG_DIR}/tarvik.desktop DESTINATION usr/share/applications COMPONENT desktop)
install(FILES ${TARVIK_PKG_DIR}/tarvik-autostart.desktop DESTINATION etc/xdg/autostart RENAME tarvik.desktop
  COMPONENT desktop)
install(FILES ${TARVIK_PKG_DIR}/debian/copyright ${TARVIK_PKG_GEN}/changelog.gz
  DESTINATION usr/share/doc/tarvik-desktop COMPONENT desktop)
install(FILES ${TARVIK_PKG_DIR}/debian/tarvik-desktop.lintian-overrides DESTINATION usr/share/lintian/overrides
  RENAME tarvik-desktop COMPONENT desktop)

# An install rule elsewhere without one of these components would be packaged nowhere.
get_cmake_property(TARVIK_INSTALL_COMPONENTS COMPONENTS)
list(REMOVE_ITEM TARVIK_INSTALL_COMPONENTS service desktop)
if(TARVIK_INSTALL_COMPONENTS)
  message(FATAL_ERROR "Install rules of component(s) ${TARVIK_INSTALL_COMPONENTS} belong in no package: "
    "give them COMPONENT service or desktop (packaging/Packaging.cmake)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL service desktop)
set(CPACK_PACKAGE_NAME tarvik)
set(CPACK_PACKAGE_VERSION ${TARVIK_VERSION})
set(CPACK_PACKAGE_VENDOR "Nordal")
set(CPACK_PACKAGE_CONTACT "${TARVIK_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVIK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME tarvik)
set(CPACK_DEBIAN_SERVICE_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_SERVICE_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_SERVICE_DESCRIPTION "document monitoring service of the Veltrane virtual printer
Tarvik releases the control file of each printed document to an outgoing
directory once the document it names is complete, and mails a failure report
when the document does not arrive.

This package holds the service, which runs without a display as the system
account tarvik, its systemd unit and the printing side's helper. The tray
program and the log viewer are in tarvik-desktop.")
set(CPACK_DEBIAN_SERVICE_PACKAGE_SHLIBDEPS ON)
# adduser makes the service account; passwd and util-linux (setpriv) are essential already.
set(CPACK_DEBIAN_SERVICE_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_SERVICE_PACKAGE_SUGGESTS "tarvik-desktop, cups, printer-driver-cups-pdf")
set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA
  ${TARVIK_PKG_GEN}/service/preinst ${TARVIK_PKG_GEN}/service/postinst ${TARVIK_PKG_GEN}/service/prerm
  ${TARVIK_PKG_GEN}/service/postrm)

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME tarvik-desktop)
set(CPACK_DEBIAN_DESKTOP_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "tray program and log viewer of the Tarvik service
Tarvik is the document monitoring service of the Veltrane virtual printer.

This package adds the desktop: with a display, the program tarvik shows a
tray icon whose menu starts and stops monitoring and opens the settings form
and the log viewer logvista. It also holds the menu entry and a log-in
autostart entry, installed turned off.")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SHLIBDEPS ON)
# The module is built with the program and loaded by it: the very same version. Qt finds its
# platform plugins at run time; no library links them.
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS "tarvik (= ${TARVIK_VERSION}), qt6-qpa-plugins")
if(TARVIK_VERSION VERSION_GREATER_EQUAL TARVIK_SPLIT_VERSION)
  set(CPACK_DEBIAN_DESKTOP_PACKAGE_REPLACES "tarvik (<< ${TARVIK_SPLIT_VERSION})")
  set(CPACK_DEBIAN_DESKTOP_PACKAGE_BREAKS "tarvik (<< ${TARVIK_SPLIT_VERSION})")
else()
  message(WARNING "Package version ${TARVIK_VERSION} is below ${TARVIK_SPLIT_VERSION}: apt will not take "
    "these packages for an upgrade of an older single tarvik package")
endif()
set(CPACK_DEBIAN_DESKTOP_PACKAGE_CONTROL_EXTRA ${TARVIK_PKG_GEN}/desktop/conffiles)

# The PDF library beside the executable is the package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
