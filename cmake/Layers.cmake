# Each library publishes only its own folder: a target sees the headers of the libraries it
# links and no others, so an include that points up the layers fails to build.
#
#   vantrel_layer(vantrel_engine engine)
#
# makes <build>/include/engine/engine a link to the source folder and gives the target that
# include root, so "engine/DownloadWorker.h" resolves for it and for those that link it.
function(vantrel_layer target folder)
    set(root "${PROJECT_BINARY_DIR}/include/${folder}")
    get_filename_component(parent "${root}/${folder}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    if(NOT EXISTS "${root}/${folder}")
        file(CREATE_LINK "${PROJECT_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC
             COPY_ON_ERROR)
    endif()
    target_include_directories(${target} PUBLIC "${root}")
endfunction()
