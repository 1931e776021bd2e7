# Build options shared by every target of the project.
option(KV_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(KV_WERROR "Treat warnings as errors" OFF)
option(KV_CLANG_TIDY "Run clang-tidy while compiling" OFF)
option(KV_BUILD_BENCH "Build the benchmarks of bench/" ON)
option(KV_BUILD_FUZZ "Build the libFuzzer targets of fuzz/ (needs clang)" OFF)

add_compile_options(-Wall -Wextra)
if(KV_WERROR)
  add_compile_options(-Werror)
endif()

if(KV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  # GCC reports false maybe-uninitialized warnings inside the standard library under ASan.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wno-maybe-uninitialized)
  endif()
  add_link_options(-fsanitize=address,undefined)
endif()

if(KV_CLANG_TIDY)
  find_program(CLANG_TIDY_EXE NAMES clang-tidy REQUIRED)
  set(CMAKE_CXX_CLANG_TIDY ${CLANG_TIDY_EXE})
endif()

# The fuzz build instruments the project's libraries with the sanitizers (fuzz/CMakeLists.txt);
# every program that links them, the unit tests included, then needs the sanitizer runtimes.
if(KV_BUILD_FUZZ)
  add_link_options(-fsanitize=address,undefined)
endif()
