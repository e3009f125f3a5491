# One static library per folder under src/, lowest first. A library sees the headers of its own
# folder and of the libraries it links, nothing else: each folder is exposed through an include
# root of its own that holds only that folder, so an include that points upward fails to compile.
#
#   lumenhollow_layer(NAME folder SOURCES a.cpp ... LINKS lower_library ...)

function(lumenhollow_layer name folder)
  cmake_parse_arguments(PARSE_ARGV 2 layer "" "" "SOURCES;LINKS")
  set(root ${PROJECT_BINARY_DIR}/include/${folder})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  add_library(${name} STATIC ${layer_SOURCES})
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC ${layer_LINKS} PRIVATE lumenhollow_build_flags)
endfunction()
