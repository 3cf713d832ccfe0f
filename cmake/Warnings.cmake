# Warnings on for our own targets; mc_warnings(target) is called by each area.
function(mc_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()
