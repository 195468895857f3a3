# Native build of the data rules: sanitizers (unless TAVO_SANITIZE is off, as
# for timing benchmarks); libFuzzer targets when the compiler is clang.
option(TAVO_SANITIZE "Build with AddressSanitizer and UBSan" ON)
set(TAVO_FUZZ OFF)
add_compile_options(-Wall -Wextra)
if(TAVO_SANITIZE)
  add_compile_options(-fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    set(TAVO_FUZZ ON)
  endif()
endif()
# Benchmarks are built on request only (scripts/bench).
option(TAVO_BENCH "Build the benchmarks" OFF)
