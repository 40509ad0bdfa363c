# tenlo_add_gtest(NAME LABEL SOURCES... LIBS...)
#   tenlo_add_gtest(link_tests unit SOURCES a.cpp b.cpp LIBS tenlo_link)
function(tenlo_add_gtest name label)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                        Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  # The calibration journal of the tests' erases goes to the build tree, not the user's.
  if(CMAKE_CROSSCOMPILING)
    # Under Wine every program start costs most of a second: one ctest test a program, all its
    # cases in one run (ctest runs it through CMAKE_CROSSCOMPILING_EMULATOR).
    add_test(NAME ${name} COMMAND ${name})
    math(EXPR whole_timeout "${T_TIMEOUT} * 5")
    set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT ${whole_timeout}
                         ENVIRONMENT XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-state
                         WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES LABELS ${label} TIMEOUT ${T_TIMEOUT}
                                    ENVIRONMENT XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-state
                         WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
endfunction()

# tenlo_add_gui_test(NAME [LABEL L] SOURCES... LIBS...): a Qt widget test on the offscreen
# platform, with the scripted message presenter and its own main (tests/qtsupport). Its label is
# gui unless LABEL names another (one that still matches gui).
function(tenlo_add_gui_test name)
  cmake_parse_arguments(T "" "TIMEOUT;LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(NOT T_LABEL)
    set(T_LABEL gui)
  endif()
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(${name} PRIVATE ${T_LIBS} tenlo_qt_test_support GTest::gtest
                        GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
                                  ENVIRONMENT QT_QPA_PLATFORM=offscreen
                                              XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-state
                       WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# tenlo_assemble(TARGET OUTDIR NAMES...): a target that has gpasm assemble data/NAME.asm of the
# calling folder into OUTDIR/NAME.hex. Without gpasm the files are not made and the tests that
# need them fail (scripts/bootstrap installs it), so a missing tool never passes as a skipped test.
function(tenlo_assemble target outdir)
  find_program(TENLO_GPASM gpasm)
  file(MAKE_DIRECTORY ${outdir})
  set(outputs)
  foreach(name ${ARGN})
    set(src ${CMAKE_CURRENT_SOURCE_DIR}/data/${name}.asm)
    if(TENLO_GPASM)
      add_custom_command(OUTPUT ${outdir}/${name}.hex
        COMMAND ${TENLO_GPASM} -q -o ${outdir}/${name}.hex ${src}
        DEPENDS ${src}
        WORKING_DIRECTORY ${outdir}
        COMMENT "gpasm ${name}.asm")
      list(APPEND outputs ${outdir}/${name}.hex)
    endif()
  endforeach()
  add_custom_target(${target} DEPENDS ${outputs})
endfunction()
