# mc_add_subdirs(): adds every direct subfolder that has a CMakeLists.txt, so
# that areas can be added without editing their parent.
function(mc_add_subdirs)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# mc_include_fragments(): includes every *.cmake file of the current folder,
# one fragment per unit of the area.
macro(mc_include_fragments)
  file(GLOB _mc_fragments ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
  list(SORT _mc_fragments)
  foreach(_mc_fragment ${_mc_fragments})
    include(${_mc_fragment})
  endforeach()
endmacro()
