# SPDX-License-Identifier: Apache-2.0
# Warnings and sanitizer flags shared by every target of the project (orvane::options).
add_library(orvane_options INTERFACE)
add_library(orvane::options ALIAS orvane_options)
target_compile_options(orvane_options INTERFACE
  -Wall -Wextra -Wshadow $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
  $<$<BOOL:${ORVANE_WERROR}>:-Werror>
  # clang checks the locks named by GUARDED_BY / REQUIRES (runtime/Mutex.h).
  $<$<CXX_COMPILER_ID:Clang>:-Wthread-safety>)
target_link_libraries(orvane_options INTERFACE Threads::Threads)
find_package(Threads REQUIRED)

if(ORVANE_SANITIZER STREQUAL "address")
  set(_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(ORVANE_SANITIZER STREQUAL "thread")
  set(_san -fsanitize=thread -fno-omit-frame-pointer)
elseif(NOT ORVANE_SANITIZER STREQUAL "")
  message(FATAL_ERROR "ORVANE_SANITIZER must be empty, 'address' or 'thread'")
endif()
if(_san)
  target_compile_options(orvane_options INTERFACE ${_san})
  target_link_options(orvane_options INTERFACE ${_san})
endif()
