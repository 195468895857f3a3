# Native build of the data rules: sanitizers always; libFuzzer targets when
# the compiler is clang.
add_compile_options(-Wall -Wextra -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
set(TAVO_FUZZ OFF)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(TAVO_FUZZ ON)
endif()
