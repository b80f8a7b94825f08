# Install rules and the Debian package (cpack -G DEB in the build tree, or the target "package").
#
# The program keeps its settings and log beside the executable, so everything that lies in bin/
# goes to the self-contained folder /opt/tarvik; the installer program goes to /usr/sbin, where the
# uninstall looks for it. Included last from the root CMakeLists.txt, so that every target exists.

set(TARVIK_VERSION "0.1.0" CACHE STRING "Version of the Debian package")
# The uninstall entry's key; fixed for the life of the product, so that every version finds it.
set(TARVIK_PRODUCT_CODE "{B64ED0C7-18D7-4EB5-A99D-3950B238FA3F}")

set(TARVIK_PKG_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TARVIK_PKG_GEN ${CMAKE_BINARY_DIR}/packaging)

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
set(TARVIK_BIN_TARGETS "")
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
  if(output STREQUAL "${CMAKE_BINARY_DIR}/bin")
    list(APPEND TARVIK_BIN_TARGETS ${target})
  endif()
endforeach()
if(TARVIK_BIN_TARGETS)
  install(TARGETS ${TARVIK_BIN_TARGETS} RUNTIME DESTINATION opt/tarvik LIBRARY DESTINATION opt/tarvik)
endif()
# The installer program that `tarvik -x` runs lies in the system folder.
if(TARGET msiexec)
  install(TARGETS msiexec RUNTIME DESTINATION usr/sbin)
endif()
message(STATUS "Package: /opt/tarvik gets ${TARVIK_BIN_TARGETS}")

install(FILES ${TARVIK_PKG_DIR}/tarvik.service DESTINATION lib/systemd/system)
install(FILES ${TARVIK_PKG_DIR}/tarvik-tmpfiles.conf DESTINATION usr/lib/tmpfiles.d RENAME tarvik.conf)
install(FILES ${TARVIK_PKG_DIR}/tarvik.desktop DESTINATION usr/share/applications)
install(FILES ${TARVIK_PKG_DIR}/tarvik-autostart.desktop DESTINATION etc/xdg/autostart RENAME tarvik.desktop)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/scripts/printer-queue.sh DESTINATION usr/share/tarvik)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION usr/share/doc/tarvik)

# Maintainer scripts: each carries the shared part, with the product code and version filled in.
file(READ ${TARVIK_PKG_DIR}/debian/common.sh TARVIK_PKG_COMMON)
string(CONFIGURE "${TARVIK_PKG_COMMON}" TARVIK_PKG_COMMON @ONLY)
foreach(script postinst prerm postrm)
  configure_file(${TARVIK_PKG_DIR}/debian/${script}.in ${TARVIK_PKG_GEN}/${script} @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()
configure_file(${TARVIK_PKG_DIR}/debian/conffiles ${TARVIK_PKG_GEN}/conffiles COPYONLY)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvik)
set(CPACK_PACKAGE_VERSION ${TARVIK_VERSION})
set(CPACK_PACKAGE_VENDOR "Nordal")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Document monitoring service of the Veltrane virtual printer")
set(CPACK_PACKAGE_DESCRIPTION "Tarvik releases the control file of each printed document to an \
outgoing directory once the document it names is complete, and mails a failure report when it does \
not arrive.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarvik developers <tarvik@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The PDF library beside the executable is the package's own.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# The desktop program needs Qt's platform plugins, which no library links to.
set(TARVIK_EXTRA_DEPENDS "passwd")
if(TARGET Qt6::Widgets)
  string(APPEND TARVIK_EXTRA_DEPENDS ", qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${TARVIK_EXTRA_DEPENDS}")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "cups, printer-driver-cups-pdf")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${TARVIK_PKG_GEN}/postinst ${TARVIK_PKG_GEN}/prerm ${TARVIK_PKG_GEN}/postrm ${TARVIK_PKG_GEN}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
