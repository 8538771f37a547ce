# Test support: GoogleTest from the distribution's sources, and pelko_add_test().
#
# On the win32-test and win64-test presets every test runs under Wine of the build's architecture
# through the cross-compiling emulator (scripts/wine-run.sh --win32 or --win64). Two CTest
# fixtures frame a run: "display" starts Xvfb when there is no display, "wine" creates the
# private prefix once and stops the prefix's wineserver at the end.
enable_testing()

set(PELKO_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${PELKO_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(t gtest gtest_main gmock gmock_main)
  if(PELKO_WIN32)
    target_link_options(${t} PUBLIC -static -static-libgcc -static-libstdc++)
  elseif(PELKO_SANITIZE)
    target_compile_options(${t} PRIVATE -fsanitize=address,undefined)
  endif()
endforeach()

set(PELKO_TEST_STATE ${CMAKE_BINARY_DIR}/test-state)

if(PELKO_WIN32)
  add_test(NAME fixture.display.start
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/xvfb.sh start ${PELKO_TEST_STATE})
  add_test(NAME fixture.display.stop
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/xvfb.sh stop ${PELKO_TEST_STATE})
  set_tests_properties(fixture.display.start PROPERTIES FIXTURES_SETUP display TIMEOUT 60)
  set_tests_properties(fixture.display.stop PROPERTIES FIXTURES_CLEANUP display TIMEOUT 60)

  add_test(NAME fixture.wine.start
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${PELKO_WINE_ARCH} --init)
  add_test(NAME fixture.wine.stop
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${PELKO_WINE_ARCH} --stop)
  set_tests_properties(fixture.wine.start PROPERTIES
    FIXTURES_SETUP wine FIXTURES_REQUIRED display TIMEOUT 300
    ENVIRONMENT "PELKO_TEST_STATE=${PELKO_TEST_STATE}")
  set_tests_properties(fixture.wine.stop PROPERTIES
    FIXTURES_CLEANUP wine FIXTURES_REQUIRED display TIMEOUT 60
    ENVIRONMENT "PELKO_TEST_STATE=${PELKO_TEST_STATE}")
endif()

# pelko_add_test(NAME name SOURCES src... [LIBS lib...] [TIMEOUT seconds] [WIN32_ONLY]
#                [OWN_PREFIX state-folder [DPI pixels-per-inch]])
# One test program is one CTest test: starting Wine costs too much to run each
# GoogleTest case in a process of its own. With OWN_PREFIX the program runs under Wine in a
# prefix of its own (BUILD/state-folder, made once), optionally set to another screen
# resolution: for tests that change what the whole prefix shares.
function(pelko_add_test)
  cmake_parse_arguments(T "WIN32_ONLY" "NAME;TIMEOUT;OWN_PREFIX;DPI" "SOURCES;LIBS" ${ARGN})
  if(T_WIN32_ONLY AND NOT PELKO_WIN32)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gmock_main pelko_options)
  target_include_directories(${T_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  if(PELKO_WIN32 AND T_OWN_PREFIX)
    if(NOT T_DPI)
      set(T_DPI -)
    endif()
    add_test(NAME ${T_NAME}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-own-prefix.sh ${PELKO_WINE_ARCH} ${PELKO_TEST_STATE}
                     ${CMAKE_BINARY_DIR}/${T_OWN_PREFIX} ${T_DPI}
                     $<TARGET_FILE:${T_NAME}> --gtest_color=no
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(${T_NAME} PROPERTIES
      FIXTURES_REQUIRED display LABELS wine TIMEOUT ${T_TIMEOUT})
    return()
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(PELKO_WIN32)
    set_tests_properties(${T_NAME} PROPERTIES
      FIXTURES_REQUIRED "display;wine" LABELS wine TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT "PELKO_TEST_STATE=${PELKO_TEST_STATE}")
  else()
    set_tests_properties(${T_NAME} PROPERTIES LABELS native TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()

# Adds every direct subfolder of DIR that has a CMakeLists.txt, in name order.
function(pelko_add_subfolders dir)
  cmake_parse_arguments(S "" "" "EXCEPT" ${ARGN})
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${dir} ${dir}/*)
  list(SORT children)
  foreach(child ${children})
    if(child IN_LIST S_EXCEPT)
      continue()
    endif()
    if(IS_DIRECTORY ${dir}/${child} AND EXISTS ${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${dir}/${child})
    endif()
  endforeach()
endfunction()
