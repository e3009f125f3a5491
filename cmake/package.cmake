# Installation (cmake --install) and the Debian package (cpack -G DEB, or cpack --preset package).
# The program goes to Debian's CGI directory, the login and token tools (when this tree builds
# them) onto the search path with their manual pages, the lighttpd snippet to conf-available for
# lighty-enable-mod, and the nginx and Apache examples, the copyright file and the changelog into
# the documentation.
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

# The compilers' version notes (.comment) serve no one on a node; Debian's own packages drop them.
if(CMAKE_OBJCOPY)
  set(lumenhollow_installed_programs lib/cgi-bin/plugin_lumenhollow_login)
  if(lumenhollow_tools_built)
    list(APPEND lumenhollow_installed_programs
      ${CMAKE_INSTALL_BINDIR}/lumenhollow-login ${CMAKE_INSTALL_BINDIR}/lumenhollow-token)
  endif()
  foreach(program IN LISTS lumenhollow_installed_programs)
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program}\" COMMAND_ERROR_IS_FATAL ANY)")
  endforeach()
endif()

get_filename_component(lighttpd_conf_dir ${lumenhollow_lighttpd_conf} DIRECTORY)
install(FILES deploy/lighttpd-lumenhollow-login.conf DESTINATION ${lighttpd_conf_dir}
  RENAME 50-lumenhollow-login.conf)
install(PROGRAMS deploy/lighttpd-password.sh DESTINATION ${lumenhollow_datadir})
install(FILES README.md SECURITY.md deploy/debian/copyright DESTINATION ${lumenhollow_docdir})
install(FILES deploy/nginx-lumenhollow-login.conf deploy/lumenhollow-login-fcgiwrap.service
  deploy/apache-lumenhollow-login.conf DESTINATION ${lumenhollow_docdir}/examples)

# The package is built from this tree and versioned as it is, without a Debian revision: a native
# package, whose changelog is changelog.gz. Manual pages and changelogs are kept compressed, with
# no time stamp or name in the gzip header, so that two builds give the same bytes.
set(debian_dir ${PROJECT_BINARY_DIR}/debian)
function(lumenhollow_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}.tmp
    COMMAND gzip -9nf ${output}.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${output}.tmp.gz ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
lumenhollow_gzip(${PROJECT_SOURCE_DIR}/deploy/debian/changelog ${debian_dir}/changelog.gz)
set(lumenhollow_gzipped ${debian_dir}/changelog.gz)
install(FILES ${debian_dir}/changelog.gz DESTINATION ${lumenhollow_docdir})
if(lumenhollow_tools_built)
  foreach(tool lumenhollow-login lumenhollow-token)
    configure_file(doc/man/${tool}.1.in ${debian_dir}/${tool}.1 @ONLY)
    lumenhollow_gzip(${debian_dir}/${tool}.1 ${debian_dir}/${tool}.1.gz)
    list(APPEND lumenhollow_gzipped ${debian_dir}/${tool}.1.gz)
    install(FILES ${debian_dir}/${tool}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
endif()
add_custom_target(lumenhollow_compressed_docs ALL DEPENDS ${lumenhollow_gzipped})

# Maintainer scripts and the list of files that dpkg keeps when the operator has edited them.
set(LUMENHOLLOW_DATADIR ${CMAKE_INSTALL_FULL_DATADIR}/${lumenhollow_package})
configure_file(deploy/debian/postinst.in ${debian_dir}/postinst @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
  WORLD_EXECUTE)
configure_file(deploy/debian/postrm ${debian_dir}/postrm COPYONLY)
file(WRITE ${debian_dir}/conffiles "${lumenhollow_lighttpd_conf}\n")

set(CPACK_PACKAGE_NAME ${lumenhollow_package})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
  "plugin_lumenhollow_login maintainers <maintainers@lumenhollow-login.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sign a headless node in to a Google account from a browser")
# Debian shows the description as it stands: lines of at most 80 columns, " ." between paragraphs.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "A CGI program that a node's web server runs once per request. Its console"
  "page signs the node in to a Google account (OAuth 2.0 with PKCE) from any"
  "browser and shows the state of that sign-in, behind a node password."
  "."
  "The login and token tools do the sign-in itself and hand the account's"
  "access token to other programs on the node. A lighttpd snippet is ready"
  "for lighty-enable-mod; examples for nginx and Apache are included.")
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
