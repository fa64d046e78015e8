# zet_module_tests(<name> <libs...>): one GoogleTest program per module folder,
# made of every tests/*.cpp beside the module's sources.
function(zet_module_tests name)
  if(NOT ZET_TESTS)
    return()
  endif()
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES NO_PRETTY_TYPES
                       PROPERTIES TIMEOUT 600)
endfunction()

# zet_module_fuzzers(<libs...>): one libFuzzer program per fuzz/*.cpp beside the
# module's sources; ctest runs each briefly from its seed corpus
# (fuzz/corpus/<name>/, optional) through scripts/run-fuzzer.
function(zet_module_fuzzers)
  if(NOT ZET_FUZZ)
    return()
  endif()
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*.cpp)
  foreach(_src ${_srcs})
    get_filename_component(_name ${_src} NAME_WE)
    add_executable(${_name} ${_src})
    target_link_libraries(${_name} PRIVATE ${ARGN})
    target_link_options(${_name} PRIVATE -fsanitize=fuzzer)
    add_test(NAME fuzz.${_name}
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/run-fuzzer $<TARGET_FILE:${_name}>
                     ${CMAKE_CURRENT_BINARY_DIR}/fuzzwork/${_name}
                     ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${_name})
    set_tests_properties(fuzz.${_name} PROPERTIES TIMEOUT 300)
  endforeach()
endfunction()

# qrc_compile(<target> <name> <scripts...>): compiles the .qrc scripts together
# with the qrc tool at build time (a duplicate type and id among them fails the
# build) and adds the generated source to target. The source registers its
# resources when the program starts, so the target must be an executable (or
# link the source whole).
function(qrc_compile target name)
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/${name}_resources.cpp)
  set(_in)
  foreach(_f ${ARGN})
    get_filename_component(_abs ${_f} ABSOLUTE)
    list(APPEND _in ${_abs})
  endforeach()
  add_custom_command(OUTPUT ${_out}
                     COMMAND qrc -o ${_out} ${_in}
                     DEPENDS qrc ${_in}
                     COMMENT "Compiling resources ${name}"
                     VERBATIM)
  target_sources(${target} PRIVATE ${_out})
endfunction()
