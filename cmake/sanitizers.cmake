# VORTANE_SANITIZE: everything built with AddressSanitizer and UndefinedBehaviorSanitizer (any
# undefined behaviour ends the program). VORTANE_FUZZ: also coverage for libFuzzer and the targets
# in fuzz/ (clang only). scripts/fuzz and `scripts/test --sanitize` configure build-sanitize/.
option(VORTANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VORTANE_FUZZ "Build the libFuzzer targets in fuzz/ (needs clang and VORTANE_SANITIZE)" OFF)

if(VORTANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(VORTANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR NOT VORTANE_SANITIZE)
    message(FATAL_ERROR "VORTANE_FUZZ needs clang (CXX=clang++) and VORTANE_SANITIZE=ON")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
