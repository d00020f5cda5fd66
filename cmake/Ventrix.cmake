# Helpers shared by every folder's CMakeLists.txt.

# Adds every direct subfolder of the current folder that has a CMakeLists.txt, so each area
# (tests/serial, tools/sim, ...) owns its own build file.
function(vx_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# vx_add_test(NAME name SOURCES a.cpp b.cpp LIBS lib1 lib2 [GUI] [TIMEOUT seconds] [LABELS l1 l2])
# One GoogleTest executable; its cases are registered with CTest one by one. GUI tests run on
# Qt's offscreen platform so they need no display. Log records that fall back to the program's
# state folder land in the build tree, not in the home folder of whoever runs the tests.
function(vx_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(T_GUI AND NOT VENTRIX_BUILD_GUI)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  if(NOT T_SOURCES MATCHES "main\\.cpp")
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  target_compile_definitions(${T_NAME} PRIVATE VX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                                VX_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # Listing the cases runs the executable at build time, where no display may exist either.
  set_target_properties(${T_NAME} PROPERTIES
    CROSSCOMPILING_EMULATOR "/usr/bin/env;QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}"
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;XDG_STATE_HOME=${PROJECT_BINARY_DIR}/test-state")
endfunction()
