# The fuzzing build: every library is compiled with libFuzzer's coverage instrumentation and
# AddressSanitizer + UndefinedBehaviorSanitizer, so a target exercises the real library code.
# Configure with clang: CC=clang CXX=clang++ cmake -DKORVANE_FUZZ=ON -DKORVANE_GUI=OFF ...
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KORVANE_FUZZ needs clang (libFuzzer); configure with CXX=clang++")
endif()
if(KORVANE_GUI)
  message(FATAL_ERROR "KORVANE_FUZZ builds only the toolkit-free libraries; add -DKORVANE_GUI=OFF")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
  -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)

# korvane_fuzz(NAME name SOURCES ... LIBS ...): one libFuzzer executable in bin/.
function(korvane_fuzz)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_include_directories(${F_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/fuzz)
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  korvane_warnings(${F_NAME})
  set_property(GLOBAL APPEND PROPERTY KORVANE_FUZZ_TARGETS ${F_NAME})
endfunction()
