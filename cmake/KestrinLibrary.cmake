# kestrin_library(NAME source... [LINK library...]): one of our static
# libraries, with the repository root on its include path and the strict
# warnings on.
function(kestrin_library name)
  cmake_parse_arguments(arg "" "" "LINK" ${ARGN})
  add_library(${name} STATIC ${arg_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${KESTRIN_WARNINGS})
  if(arg_LINK)
    target_link_libraries(${name} PUBLIC ${arg_LINK})
  endif()
endfunction()
