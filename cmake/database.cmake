# Helpers shared by the build files.

set(DB_STATIC_LIBS "")
set(DB_EXTERNAL_LIBS "")

# db_add_static(name folder [external libraries...])
# Builds every .cpp of the folder into one static library. A folder without sources yet adds nothing.
function(db_add_static name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/src)
  if(ARGN)
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
  set(DB_STATIC_LIBS ${DB_STATIC_LIBS} ${name} PARENT_SCOPE)
  set(DB_EXTERNAL_LIBS ${DB_EXTERNAL_LIBS} ${ARGN} PARENT_SCOPE)
endfunction()

# db_add_test(name folder [static libraries the tests use...])
# One GoogleTest executable from every .cpp of the folder, linked with the shared library.
# With DB_TEST_LINK_STATIC the executable links the named static libraries instead, so that one
# piece can be built and tested while another piece of the tree is still being written.
option(DB_TEST_LINK_STATIC "Link each test with its own static libraries instead of the shared library" OFF)
function(db_add_test name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs} ${CMAKE_SOURCE_DIR}/tests/common/fixture.cpp)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/src
                             ${CMAKE_SOURCE_DIR}/tests)
  if(DB_TEST_LINK_STATIC AND ARGN)
    target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main dl)
  else()
    target_link_libraries(${name} PRIVATE database GTest::gtest GTest::gtest_main)
  endif()
  target_compile_definitions(${name} PRIVATE DB_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
