# Installation (cmake --install) and the Debian package (cpack -G DEB, or cpack --preset package).
# The program goes to Debian's CGI directory, the login and token tools (when this tree builds
# them) onto the search path, the lighttpd snippet to conf-available for lighty-enable-mod, and the
# nginx and Apache examples into the documentation.
include(GNUInstallDirs)

set(lumenhollow_package plugin-lumenhollow-login)
set(lumenhollow_datadir ${CMAKE_INSTALL_DATADIR}/${lumenhollow_package})
set(lumenhollow_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${lumenhollow_package})
set(lumenhollow_lighttpd_conf
  ${CMAKE_INSTALL_FULL_SYSCONFDIR}/lighttpd/conf-available/50-lumenhollow-login.conf)

install(TARGETS plugin_lumenhollow_login RUNTIME DESTINATION lib/cgi-bin)
set(lumenhollow_tools_built OFF)
foreach(tool lumenhollow-login lumenhollow-token)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    set(lumenhollow_tools_built ON)
  endif()
endforeach()

get_filename_component(lighttpd_conf_dir ${lumenhollow_lighttpd_conf} DIRECTORY)
install(FILES deploy/lighttpd-lumenhollow-login.conf DESTINATION ${lighttpd_conf_dir}
  RENAME 50-lumenhollow-login.conf)
install(PROGRAMS deploy/lighttpd-password.sh DESTINATION ${lumenhollow_datadir})
install(FILES README.md SECURITY.md DESTINATION ${lumenhollow_docdir})
install(FILES deploy/nginx-lumenhollow-login.conf deploy/lumenhollow-login-fcgiwrap.service
  deploy/apache-lumenhollow-login.conf DESTINATION ${lumenhollow_docdir}/examples)

# Maintainer scripts and the list of files that dpkg keeps when the operator has edited them.
set(LUMENHOLLOW_DATADIR ${CMAKE_INSTALL_FULL_DATADIR}/${lumenhollow_package})
set(debian_dir ${PROJECT_BINARY_DIR}/debian)
configure_file(deploy/debian/postinst.in ${debian_dir}/postinst @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
  WORLD_EXECUTE)
configure_file(deploy/debian/postrm ${debian_dir}/postrm COPYONLY)
file(WRITE ${debian_dir}/conffiles "${lumenhollow_lighttpd_conf}\n")

set(CPACK_PACKAGE_NAME ${lumenhollow_package})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "plugin_lumenhollow_login maintainers <maintainers@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sign a headless node in to a Google account from a browser")
set(CPACK_PACKAGE_DESCRIPTION "A CGI program that a node's web server runs once per request. It \
drives the login and token tools to sign the node in to a Google account (OAuth 2.0 with PKCE) \
and shows the state of that sign-in, behind a node password.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(lumenhollow_tools_built)
  # The tools load libcurl only for their network steps, so no linker record names it, and it
  # checks certificates against the system's CA bundle.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcurl4, ca-certificates")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "lighttpd | nginx | apache2")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fcgiwrap")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${debian_dir}/postinst ${debian_dir}/postrm ${debian_dir}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
