# GoogleTest for both trees. Natively the machine's GoogleTest; for Windows
# it is built from Debian's googletest sources with the cross compiler.
if(VV_WINDOWS)
  set(VV_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${VV_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gtest ALIAS gtest)
  endif()
else()
  find_package(GTest REQUIRED)
endif()

# Windows tests run under Wine inside one session (private prefix, one
# wineserver, an Xvfb display when none is given) set up and torn down by
# CTest fixtures, so a test run starts Wine once.
function(vv_add_wine_session_fixture)
  set(state ${CMAKE_BINARY_DIR}/wine-session.env)
  add_test(NAME wine_session_start
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session.sh start ${state})
  add_test(NAME wine_session_stop
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session.sh stop ${state})
  set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine)
  set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)
endfunction()

# One CTest test per GoogleTest program; under Wine it joins the session.
function(vv_add_gtest_program name)
  add_test(NAME ${name} COMMAND ${name})
  if(VV_WINDOWS)
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine
      ENVIRONMENT "VV_WINE_STATE=${CMAKE_BINARY_DIR}/wine-session.env")
  endif()
endfunction()
