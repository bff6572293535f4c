# qvctx_add_part(TARGET SOURCES ... USES ... [USES_PRIVATELY ...]): one part
# of the library or the simulator as a static library of position-independent
# code with hidden symbols. Its folder's include/ is its public include root;
# it links the parts its headers use (USES) and those only its sources use
# (USES_PRIVATELY), so an include of a part it does not link does not
# compile.
function(qvctx_add_part target)
  cmake_parse_arguments(ARG "" "" "SOURCES;USES;USES_PRIVATELY" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC
    ${CMAKE_CURRENT_SOURCE_DIR}/include)
  target_link_libraries(${target} PUBLIC ${ARG_USES}
    PRIVATE ${ARG_USES_PRIVATELY} qvctx_warnings)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()
