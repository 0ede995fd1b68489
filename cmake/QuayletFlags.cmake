# Compiler flags shared by every target of the project, as one INTERFACE target.
add_library(quaylet_flags INTERFACE)
target_compile_features(quaylet_flags INTERFACE cxx_std_20)
target_compile_options(quaylet_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Wno-missing-field-initializers
  $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>
  $<$<BOOL:${QUAYLET_WERROR}>:-Werror>
  # GCC 12 reports false overlaps inside std::string copies when optimising.
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<NOT:$<CONFIG:Debug>>>:-Wno-restrict>)
target_compile_definitions(quaylet_flags INTERFACE
  QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QUAYLET_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  QUAYLET_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  QUAYLET_VERSION_PATCH=${PROJECT_VERSION_PATCH}
  QUAYLET_VERSION_TWEAK=${PROJECT_VERSION_TWEAK})

if(QUAYLET_SANITIZE)
  # GCC leaves float-to-integer overflow out of "undefined"; clang has it in.
  target_compile_options(quaylet_flags INTERFACE
    -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=undefined,float-cast-overflow
    -fno-omit-frame-pointer)
  target_link_options(quaylet_flags INTERFACE -fsanitize=address,undefined,float-cast-overflow)
endif()

# Fuzzing (clang only): every library gets the coverage hooks and both
# sanitizers; only the harnesses link libFuzzer's driver (tests/fuzz).
option(QUAYLET_FUZZ "Build the libFuzzer harnesses (clang)" OFF)
if(QUAYLET_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUAYLET_FUZZ needs clang (the fuzz preset uses clang++-14)")
  endif()
  target_compile_options(quaylet_flags INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quaylet_flags INTERFACE -fsanitize=address,undefined)
endif()

# The thread sanitizer cannot be combined with the address sanitizer, so it has
# a build of its own.
option(QUAYLET_TSAN "Build with ThreadSanitizer" OFF)
if(QUAYLET_TSAN)
  target_compile_options(quaylet_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(quaylet_flags INTERFACE -fsanitize=thread)
endif()

# Hardening of the optimised builds (the Debian package is built from the
# release preset): checked string and memory functions, and a read-only
# relocation table bound at start-up. Fortification needs optimisation, so
# debug builds stay without it; the compiler may already define the macro.
target_compile_options(quaylet_flags INTERFACE
  $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
target_link_options(quaylet_flags INTERFACE
  $<$<NOT:$<CONFIG:Debug>>:LINKER:-z,relro,-z,now>)

# Link-time optimisation for the package build. With it GCC sees every unit at
# once and reports two different definitions behind one name (a type, an inline
# function) and declarations whose types disagree across units; both are made
# errors, so such a clash fails the build instead of corrupting memory at run time.
option(QUAYLET_LTO "Link with link-time optimisation; definitions that clash across units fail the link" OFF)
if(QUAYLET_LTO)
  include(CheckIPOSupported)
  check_ipo_supported(RESULT quaylet_ipo_supported OUTPUT quaylet_ipo_output LANGUAGES C CXX)
  if(NOT quaylet_ipo_supported)
    message(FATAL_ERROR "QUAYLET_LTO: the compiler cannot link with LTO: ${quaylet_ipo_output}")
  endif()
  set(CMAKE_INTERPROCEDURAL_OPTIMIZATION ON)
  target_compile_options(quaylet_flags INTERFACE -Werror=odr -Werror=lto-type-mismatch)
  target_link_options(quaylet_flags INTERFACE -Werror=odr -Werror=lto-type-mismatch)
endif()
