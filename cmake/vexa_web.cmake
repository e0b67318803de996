# The browser's side of vexa_add_application (cmake/vexa_application.cmake),
# for the engine's own build and for a project on the installed web package.
#
# vexa_web_application(<name> SOURCES <sources...> [FILES <files or folders...>])
#
# Two builds of one program and the page that chooses between them, in the
# target's output folder:
#   <name>.html                        the page (vexa_web_page.html)
#   <name>.js, .wasm, .data            one thread, for any page
#   <name>-threads.js, .wasm, .data    browser threads, for cross-origin
#                                      isolated pages (shared memory)
# The .data file holds the page's file system: the engine's shaders in
# shaders/ and the FILES at the root (folders with their contents), the
# working folder, where the program finds what lies beside it.
#
# Target <name> is the one-thread build; <name>-threads is its twin. What the
# directory adds to <name> afterwards (target_link_libraries, definitions,
# include folders, options) is given to the twin when the directory's
# CMakeLists.txt ends, with each library that has a threaded twin
# (vexa::engine -> vexa::engine_threads, vexa::assets -> vexa::assets_threads)
# replaced by it.
include_guard(GLOBAL)

# The most threads a page's program uses: the page starts
# min(cores, VEXA_BROWSER_THREADS) - 1 workers before the program runs, and
# the worker pool (scene/worker_pool.cpp) takes no more, since a browser
# thread asked for later would start only after the frame that waits for it.
set(VEXA_BROWSER_THREADS 8)
set(VEXA_WEB_PAGE ${CMAKE_CURRENT_LIST_DIR}/vexa_web_page.html)
# Debian's Emscripten optimises the JavaScript it links with Node modules
# (acorn) that Node finds only through NODE_PATH: links get it set.
set(VEXA_WEB_LINKER_LAUNCHER)
if(NOT DEFINED ENV{NODE_PATH} AND EXISTS /usr/share/nodejs/acorn)
    set(VEXA_WEB_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
endif()

# vexa_threads_twins(<variable> <libraries...>): the libraries with each one
# that has a threaded twin (a target of the same name ending in _threads)
# replaced by it; the others, such as the GL interface, serve both builds.
function(vexa_threads_twins variable)
    set(twins)
    foreach(library ${ARGN})
        if(TARGET ${library}_threads)
            list(APPEND twins ${library}_threads)
        else()
            list(APPEND twins ${library})
        endif()
    endforeach()
    set(${variable} ${twins} PARENT_SCOPE)
endfunction()

function(vexa_web_application name)
    cmake_parse_arguments(A "" "" "SOURCES;FILES" ${ARGN})
    set(twin ${name}-threads)
    # SHELL: keeps each option with its argument (CMake merges repeated options).
    set(preload "SHELL:--preload-file \"${VEXA_SHADER_SOURCE_DIR}@/shaders\"")
    file(GLOB_RECURSE inputs CONFIGURE_DEPENDS ${VEXA_SHADER_SOURCE_DIR}/*)
    foreach(file ${A_FILES})
        get_filename_component(path ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
        get_filename_component(leaf ${path} NAME)
        list(APPEND preload "SHELL:--preload-file \"${path}@/${leaf}\"")
        if(IS_DIRECTORY ${path})
            file(GLOB_RECURSE contents CONFIGURE_DEPENDS ${path}/*)
            list(APPEND inputs ${contents})
        else()
            list(APPEND inputs ${path})
        endif()
    endforeach()

    set(VEXA_PAGE_NAME ${name})
    set(page ${CMAKE_CURRENT_BINARY_DIR}/vexa_pages/${name}.html)
    configure_file(${VEXA_WEB_PAGE} ${page} @ONLY)
    foreach(target ${name} ${twin})
        add_executable(${target} ${A_SOURCES})
        if(VEXA_WEB_LINKER_LAUNCHER)
            set_target_properties(${target} PROPERTIES CXX_LINKER_LAUNCHER
                "${VEXA_WEB_LINKER_LAUNCHER}")
        endif()
        # The .data file is made when linking: link again when a file changes.
        set_target_properties(${target} PROPERTIES SUFFIX .js LINK_DEPENDS "${inputs}")
        target_link_options(${target} PRIVATE ${preload} -sALLOW_MEMORY_GROWTH=1
            -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1)
    endforeach()
    target_link_libraries(${name} PRIVATE vexa::engine)
    target_link_options(${name} PRIVATE -sENVIRONMENT=web)
    get_target_property(own_options ${name} LINK_OPTIONS)
    list(LENGTH own_options own)
    add_custom_command(TARGET ${name} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${page} $<TARGET_FILE_DIR:${name}>/${name}.html
        VERBATIM)
    # Growing shared memory makes the JavaScript side check its views of it
    # on every access; what a page does through them per frame is small.
    target_link_options(${twin} PRIVATE -pthread -sENVIRONMENT=web,worker
        -Wno-pthreads-mem-growth
        "-sPTHREAD_POOL_SIZE=Math.max(1,Math.min(navigator.hardwareConcurrency||1,${VEXA_BROWSER_THREADS}))-1")
    # A deferred call reads its variables when it runs: pass the values.
    cmake_language(EVAL CODE "cmake_language(DEFER CALL vexa_web_twin_settings ${name} ${own})")
endfunction()

# At the end of the directory: the twin gets what <name> was given after its
# first <own> link options, which were for the one-thread build.
function(vexa_web_twin_settings name own)
    set(twin ${name}-threads)
    foreach(property COMPILE_DEFINITIONS COMPILE_OPTIONS COMPILE_FEATURES INCLUDE_DIRECTORIES
            LINK_DIRECTORIES RUNTIME_OUTPUT_DIRECTORY)
        get_target_property(value ${name} ${property})
        if(value)
            set_property(TARGET ${twin} APPEND PROPERTY ${property} ${value})
        endif()
    endforeach()
    get_target_property(options ${name} LINK_OPTIONS)
    list(LENGTH options count)
    if(count GREATER own)
        list(SUBLIST options ${own} -1 options)
        set_property(TARGET ${twin} APPEND PROPERTY LINK_OPTIONS ${options})
    endif()
    get_target_property(libraries ${name} LINK_LIBRARIES)
    vexa_threads_twins(libraries ${libraries})
    target_link_libraries(${twin} PRIVATE ${libraries})
endfunction()
