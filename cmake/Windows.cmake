# Windows build settings: one statically linked executable, Unicode Win32 API.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
add_compile_options(-Wall -Wextra)
add_link_options(-static -static-libgcc -static-libstdc++)
# The options above hold for the whole tree (this file is included before any
# target is created); the rule library links this as it does natively.
add_library(tavo_options INTERFACE)

# The layouts the build produces: the release layout carries TAVO.exe and
# Tavo.ini only; the simulator layout adds our simulated FTD2XX.dll. Test
# executables run beside the simulator too.
set(TAVO_RELEASE_DIR ${CMAKE_BINARY_DIR}/out/release)
set(TAVO_SIM_DIR ${CMAKE_BINARY_DIR}/out/simulator)
set(TAVO_TEST_DIR ${CMAKE_BINARY_DIR}/out/tests)
