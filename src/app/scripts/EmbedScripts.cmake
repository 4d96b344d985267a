# embed_game_scripts(OUTPUT NAME FILE [NAME FILE ...]): writes a C++ source
# defining `const std::string_view NAME` with each file's text, so the game
# scripts live as plain files here and as text inside the client.
function(embed_game_scripts output)
  set(delimiter "nelqscript")
  set(code "// Generated from src/app/scripts; edit the scripts, not this file.\n")
  string(APPEND code "#include <string_view>\n\n")
  set(names_and_files ${ARGN})
  while(names_and_files)
    list(POP_FRONT names_and_files name file)
    file(READ ${file} text)
    if(text MATCHES "\\)${delimiter}\"")
      message(FATAL_ERROR "${file} contains the literal's closing sequence")
    endif()
    string(APPEND code "extern const std::string_view ${name};\n")
    string(APPEND code "const std::string_view ${name} = R\"${delimiter}(${text})${delimiter}\";\n\n")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  endwhile()
  # Written only when it changed, so a reconfigure does not rebuild the client.
  file(WRITE ${output}.new "${code}")
  file(COPY_FILE ${output}.new ${output} ONLY_IF_DIFFERENT)
  file(REMOVE ${output}.new)
endfunction()
