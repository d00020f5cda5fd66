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

# vx_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [MAIN qt|qt-ui|qt-serial|app] [GUI]
#             [PROGRAMS target ...] [LABELS label ...] [TIMEOUT seconds])
# One GoogleTest executable; its cases are registered with CTest one by one.
# MAIN picks the test main of tests/support (an offscreen Qt application object, see TestMain.cpp);
# without it the test runs on GoogleTest's own main. A test with a Qt main is a GUI test, skipped
# when the windows are not built. PROGRAMS names the programs of this build the test starts
# (ventrix-sim, ...): they are built first. Log records that fall back to the program's state
# folder land in the build tree, not in the home folder of whoever runs the tests.
#
# Labels, so a part of the suite can run alone (`ctest -L unit`): the test's folder (`wind`,
# `serial`, ...); `gui` for a Qt test; `e2e` for one that starts programs; the LABELS given (for
# example `serial` for pseudo-terminals outside tests/serial, or `unit` for a pure-logic test in
# a folder of VX_SYSTEM_TEST_AREAS); and `unit` for the rest, which needs no toolkit, no
# program, no device and runs in seconds.
function(vx_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT;MAIN" "SOURCES;LIBS;LABELS;PROGRAMS" ${ARGN})
  if(T_MAIN)
    set(T_GUI ON)
  endif()
  if(T_GUI AND NOT VENTRIX_BUILD_GUI)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} vx_test_support GTest::gtest GTest::gmock
                                          Threads::Threads)
  if(T_MAIN)
    target_link_libraries(${T_NAME} PRIVATE vx_test_main_${T_MAIN} vx_test_support_qt)
  elseif(NOT T_SOURCES MATCHES "main\\.cpp")
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  if(T_PROGRAMS)
    add_dependencies(${T_NAME} ${T_PROGRAMS})
  endif()
  target_compile_definitions(${T_NAME} PRIVATE VX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                                VX_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # Listing the cases runs the executable at build time, where no display may exist either.
  set_target_properties(${T_NAME} PROPERTIES
    CROSSCOMPILING_EMULATOR "/usr/bin/env;QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")

  get_filename_component(area ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(labels ${area} ${T_LABELS})
  if(T_GUI)
    list(APPEND labels gui)
  endif()
  if(T_PROGRAMS)
    list(APPEND labels e2e)
  endif()
  # Anything beyond the folder's name says the test needs more than the code in this process,
  # unless the folder's tests say outright that this one is a unit test.
  list(REMOVE_DUPLICATES labels)
  list(LENGTH labels kinds)
  if(kinds EQUAL 1 AND NOT area IN_LIST VX_SYSTEM_TEST_AREAS)
    list(APPEND labels unit)
  endif()
  set(environment QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
                  XDG_STATE_HOME=${PROJECT_BINARY_DIR}/test-state)
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${T_TIMEOUT})
  # Lists cannot pass through the discovery's PROPERTIES (their second item would be read as a
  # property name), so CTest gives every case found its labels and environment afterwards.
  set(properties ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_properties.cmake)
  file(WRITE ${properties}
    "if(${T_NAME}_TESTS)\n"
    "  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES\n"
    "    LABELS \"${labels}\" ENVIRONMENT \"${environment}\")\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${properties})
endfunction()

# Folders whose every test needs devices or the network: pseudo-terminals and the threads that
# read them, sockets and a broker on loopback.
set(VX_SYSTEM_TEST_AREAS serial autofind network)
