# The product's folders in layers, bottom up: a folder may include its own layer and those below,
# never one above. scripts/style.sh reads this line for its check of the sources' includes.
set(PARVOLUX_LAYERS "fileio,log" "codec,avi" "plugin")

# parvolux_layer_includes(TARGET FOLDER)
# Gives TARGET, whose sources live in the top-level FOLDER, an include path that holds links to
# the folders of FOLDER's layer and the layers below and to nothing else, so that an upward include
# ("plugin/..." from avi/) is not found. Includes keep their spelling from the top
# ("avi/avi_writer.h"). One folder per layer, made at configure time in the build tree.
function(parvolux_layer_includes target folder)
  set(_visible)
  foreach(layer IN LISTS PARVOLUX_LAYERS)
    string(REPLACE "," ";" _folders "${layer}")
    list(APPEND _visible ${_folders})
    if(folder IN_LIST _folders)
      string(REPLACE "," "-" _name "${layer}")
      set(_dir ${PROJECT_BINARY_DIR}/include-layers/${_name})
      file(MAKE_DIRECTORY ${_dir})
      foreach(visible IN LISTS _visible)
        if(NOT IS_SYMLINK ${_dir}/${visible})
          file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${visible} ${_dir}/${visible} SYMBOLIC)
        endif()
      endforeach()
      target_include_directories(${target} PRIVATE ${_dir})
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "parvolux_layer_includes: ${folder} is in no layer")
endfunction()
