# Release builds are hardened the way Debian hardens its packages: position-independent
# executables, relocations made read-only and bound at start, the stack protector, and fortified
# libc calls (which need optimisation, so only optimised builds get them). Sanitizer and fuzz builds
# are left as they are: their runtimes intercept the very calls that fortification replaces. The
# flags are for ELF and glibc, so the Windows build has none of them.
if(NOT LUMENHOLLOW_SANITIZE AND NOT LUMENHOLLOW_FUZZ AND NOT WIN32)
  set(hardened $<CONFIG:Release,RelWithDebInfo>)
  target_compile_options(lumenhollow_build_flags INTERFACE
    $<${hardened}:-fPIE -fstack-protector-strong -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
  target_link_options(lumenhollow_build_flags INTERFACE $<${hardened}:-pie -Wl,-z,relro,-z,now>)
endif()
