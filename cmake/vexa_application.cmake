# vexa_add_application(<name> <sources...> [FILES <files or folders...>])
#
# A program built on the engine, made ready to run where it was built, on
# every platform the engine builds for:
#   Linux, 64-bit ARM: the executable <name>, the engine's shaders/ beside it;
#   Windows:           <name>.exe with the DLLs it loads and shaders/ beside it;
#   the browser:       <name>.html and what it loads (cmake/vexa_web.cmake).
# FILES are copied beside the program (in the browser: into the page's file
# system, at the same names), folders with their contents, so the program
# finds them from its own folder. The program links vexa::engine; link more
# (vexa::assets, vexa::imgui) with target_link_libraries(<name> PRIVATE ...).
#
# Where the engine's shaders come from: VEXA_SHADER_SOURCE_DIR, set by the
# engine's own build (its source tree) and by the installed package (its
# share folder).
include_guard(GLOBAL)
if(EMSCRIPTEN)
    include(${CMAKE_CURRENT_LIST_DIR}/vexa_web.cmake)
endif()

function(vexa_add_application name)
    cmake_parse_arguments(A "" "" "FILES" ${ARGN})
    set(sources ${A_UNPARSED_ARGUMENTS})
    if(NOT sources)
        message(FATAL_ERROR "vexa_add_application(${name}): no sources")
    endif()
    if(EMSCRIPTEN)
        vexa_web_application(${name} SOURCES ${sources} FILES ${A_FILES})
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE vexa::engine)
    set(out $<TARGET_FILE_DIR:${name}>)
    add_custom_command(TARGET ${name} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_directory ${VEXA_SHADER_SOURCE_DIR} ${out}/shaders
        VERBATIM)
    foreach(file ${A_FILES})
        get_filename_component(path ${file} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
        get_filename_component(leaf ${path} NAME)
        if(IS_DIRECTORY ${path})
            set(copy copy_directory ${path} ${out}/${leaf})
        else()
            set(copy copy_if_different ${path} ${out})
        endif()
        add_custom_command(TARGET ${name} POST_BUILD COMMAND ${CMAKE_COMMAND} -E ${copy} VERBATIM)
    endforeach()
    # On Windows the DLLs come along; the engine's cross build decides which
    # (cmake/toolchain-mingw64.cmake and the package).
    if(WIN32 AND COMMAND vexa_copy_runtime_dlls)
        vexa_copy_runtime_dlls(${name})
    endif()
endfunction()
