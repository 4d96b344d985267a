# nelq_packed_texts(TARGET SOURCE_DIR TEXT...): TARGET, built with everything,
# makes TEXT.gz of each TEXT (a path under SOURCE_DIR) in the current build
# folder, as Debian installs manuals and changelogs. -n keeps the time out, so
# the same source gives the same package.
find_program(GZIP gzip REQUIRED)
function(nelq_packed_texts target source_dir)
  set(packed)
  foreach(text ${ARGN})
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${text}.gz)
    add_custom_command(OUTPUT ${out}
      COMMAND sh -c "\"$0\" -9nc \"$1\" >\"$2\"" ${GZIP} ${source_dir}/${text} ${out}
      DEPENDS ${source_dir}/${text} VERBATIM)
    list(APPEND packed ${out})
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${packed})
endfunction()
