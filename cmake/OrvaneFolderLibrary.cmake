# SPDX-License-Identifier: Apache-2.0
# orvane_folder_library(<folder> SOURCES ... DEPS ...): the static library of one src/ folder.
#
# Sources include each other as "<folder>/Header.h". A target publishes only its own folder: its
# include root is a directory of the build tree holding one link, <folder> -> src/<folder>, so a
# target sees a folder's headers only when it links that folder's library, and an include that goes
# against the layers fails to compile as well as failing scripts/check-layering.sh.
function(orvane_folder_library folder)
  cmake_parse_arguments(L "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  set(root ${PROJECT_BINARY_DIR}/include-roots/${folder})
  file(MAKE_DIRECTORY ${root})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  add_library(orvane_${folder} STATIC ${L_SOURCES})
  add_library(orvane::${folder} ALIAS orvane_${folder})
  target_include_directories(orvane_${folder} PUBLIC ${root} ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(orvane_${folder} PUBLIC ${L_DEPS} orvane::options PRIVATE ${L_PRIVATE_DEPS})
endfunction()
