# melvar_add_test(NAME [GUI] SOURCES files... LIBS libs...)
# Builds one GoogleTest binary with the shared test main, which sets the
# headless environment (offscreen Qt, silent SDL) itself, so the binary works
# the same under ctest, under test discovery and when run by hand. GUI gives
# the binary a QApplication (for widget tests); otherwise QCoreApplication.
find_package(GTest REQUIRED)
include(GoogleTest)

set(_melvar_test_defs
  MELVAR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  MELVAR_BINARY_DIR="${CMAKE_BINARY_DIR}"
  MELVAR_CORPUS_DIR="${MELVAR_CORPUS_DIR}"
  MELVAR_DEMO_DIR="${MELVAR_DEMO_DIR}")

add_library(melvar_test_main STATIC ${CMAKE_SOURCE_DIR}/tests/test_main.cpp ${CMAKE_SOURCE_DIR}/tests/test_support.cpp)
target_link_libraries(melvar_test_main PUBLIC GTest::gtest Qt6::Core)
target_include_directories(melvar_test_main PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(melvar_test_main PUBLIC ${_melvar_test_defs})

add_library(melvar_test_main_gui STATIC ${CMAKE_SOURCE_DIR}/tests/test_main.cpp ${CMAKE_SOURCE_DIR}/tests/test_support.cpp)
target_link_libraries(melvar_test_main_gui PUBLIC GTest::gtest Qt6::Widgets)
target_include_directories(melvar_test_main_gui PUBLIC ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(melvar_test_main_gui PUBLIC ${_melvar_test_defs} PRIVATE MELVAR_TEST_GUI)

function(melvar_add_test name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE melvar_test_main_gui ${ARG_LIBS})
  else()
    target_link_libraries(${name} PRIVATE melvar_test_main ${ARG_LIBS})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      TIMEOUT 300
      ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen;SDL_AUDIODRIVER=set:dummy")
endfunction()
