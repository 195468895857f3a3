# Native build of the data rules: sanitizers (unless TAVO_SANITIZE is off, as
# for timing benchmarks); libFuzzer targets when the compiler is clang.
#
# The options live on the interface target tavo_options, which the rule
# library passes on to everything built on it. Directory-wide options would
# reach only the targets created after this file is included, and the rule
# library was once created before it and so built without any of them.
option(TAVO_SANITIZE "Build with AddressSanitizer and UBSan" ON)
set(TAVO_FUZZ OFF)
add_library(tavo_options INTERFACE)
target_compile_options(tavo_options INTERFACE -Wall -Wextra)
if(TAVO_SANITIZE)
  target_compile_options(tavo_options INTERFACE
    -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined)
  target_link_options(tavo_options INTERFACE -fsanitize=address,undefined)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(TAVO_FUZZ ON)
  endif()
endif()
# Benchmarks are built on request only (scripts/bench).
option(TAVO_BENCH "Build the benchmarks" OFF)
