# Test helpers. Logic tests are GoogleTest executables that link only the library they
# cover; window tests are Qt Test executables run on the offscreen platform.
find_package(GTest REQUIRED)

set(KORVANE_SCREENSHOT_DIR ${CMAKE_BINARY_DIR}/screenshots)
file(MAKE_DIRECTORY ${KORVANE_SCREENSHOT_DIR})

# korvane_gtest(NAME name SOURCES ... LIBS ... [TIMEOUT s] [LABELS ...])
function(korvane_gtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 60)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
  korvane_warnings(${T_NAME})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
    ENVIRONMENT "KORVANE_SCREENSHOT_DIR=${KORVANE_SCREENSHOT_DIR};KORVANE_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()

# korvane_qtest(NAME name SOURCES ... LIBS ... [TIMEOUT s] [LABELS ...])
function(korvane_qtest)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
  korvane_warnings(${T_NAME})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "gui;${T_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KORVANE_SCREENSHOT_DIR=${KORVANE_SCREENSHOT_DIR};KORVANE_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()
