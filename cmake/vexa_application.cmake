# vexa_add_application(<name> <sources...> [FILES <files or folders...>])
#
# A program built on the engine, made ready to run where it was built, on
# every platform the engine builds for:
#   Linux, 64-bit ARM: the executable <name>, the engine's shaders/ beside it;
#   Windows:           <name>.exe with the DLLs it loads and shaders/ beside it;
#   the browser:       <name>.html and what it loads (cmake/vexa_web.cmake).
# FILES are copied beside the program (in the browser: into the page's file
# system, at the same names), folders with their contents, so the program
# finds them from its own folder. A program on the loader gets the decoder
# process beside it too. The program links vexa::engine; link more
# (vexa::assets, vexa::imgui) with target_link_libraries(<name> PRIVATE ...).
#
# Where the engine's shaders come from: VEXA_SHADER_SOURCE_DIR, set by the
# engine's own build (its source tree) and by the installed package (its
# share folder). The program finds them beside itself, so no path of the
# machine that built it is compiled in: the package's VEXA_SHADER_DIR
# definition skips programs made here (their property VEXA_APPLICATION).
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
    set_target_properties(${name} PROPERTIES VEXA_APPLICATION ON)
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
    if(WIN32)
        vexa_copy_runtime_dlls(${name})
    endif()
    vexa_copy_decoder(${name})
endfunction()

# A program that links the loader (vexa::assets, whose property VEXA_LOADER
# it inherits) gets the decoder process beside it, where the loader looks
# first, so its folder runs as it is from anywhere. The decoder is the
# engine's build's own, or the package's (VEXA_DECODER_PROGRAM).
function(vexa_copy_decoder name)
    set(uses $<BOOL:$<TARGET_PROPERTY:${name},VEXA_LOADER>>)
    if(TARGET vexa-decode)
        set(decoder $<TARGET_FILE:vexa-decode>)
        # Programs in the decoder's own folder have it already.
        set(uses "$<AND:${uses},$<NOT:$<STREQUAL:$<TARGET_FILE_DIR:${name}>,$<TARGET_FILE_DIR:vexa-decode>>>>")
        add_dependencies(${name} vexa-decode)
    elseif(VEXA_DECODER_PROGRAM)
        set(decoder ${VEXA_DECODER_PROGRAM})
    else()
        return()
    endif()
    add_custom_command(TARGET ${name} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E
            "$<IF:${uses},copy_if_different;${decoder};$<TARGET_FILE_DIR:${name}>,true>"
        COMMAND_EXPAND_LISTS VERBATIM)
endfunction()

# Windows: the DLLs a program loads go beside it. Those of the libraries
# linked as imported DLL targets (SDL2) come from CMake; the MinGW runtime
# (C++ library, GCC support, threads) and zlib, which libpng links, are
# asked of the compiler, which knows its own folders: those found are copied.
function(vexa_copy_runtime_dlls name)
    if(NOT DEFINED VEXA_MINGW_DLLS)
        set(found)
        foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll zlib1.dll)
            execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
            if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
                list(APPEND found ${path})
            endif()
        endforeach()
        set(VEXA_MINGW_DLLS ${found} CACHE INTERNAL "the MinGW runtime DLLs programs load")
    endif()
    set(dlls $<TARGET_RUNTIME_DLLS:${name}>)
    add_custom_command(TARGET ${name} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VEXA_MINGW_DLLS} $<$<BOOL:${dlls}>:${dlls}>
            $<TARGET_FILE_DIR:${name}>
        COMMAND_EXPAND_LISTS VERBATIM)
endfunction()
