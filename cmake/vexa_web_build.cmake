# The engine's browser build (EMSCRIPTEN): SDL2 for Emscripten, twice, and
# what the web package carries besides the engine's libraries.
#
# SDL2 comes from the prefixes in VEXA_CROSS_PREFIXES (scripts/build-web.sh
# builds them from Debian's source package and names them): the one whose
# folder name ends in -pthread was built for shared memory and serves the
# threaded builds, the other the one-thread builds. Without
# VEXA_CROSS_PREFIXES the cache folder (VEXA_CACHE, /var/cache/vexa) is
# searched for them. They become vexa_sdl2 and vexa_sdl2_threads (vexa::sdl2,
# vexa::sdl2_threads once installed), copied into the package, so that a
# project on the package needs nothing else.
if(NOT VEXA_CROSS_PREFIXES)
    set(cache $ENV{VEXA_CACHE})
    if(NOT cache)
        set(cache /var/cache/vexa)
    endif()
    file(GLOB VEXA_CROSS_PREFIXES LIST_DIRECTORIES true ${cache}/*-emscripten
        ${cache}/*-emscripten-pthread)
endif()

set(VEXA_WEB_LIBRARY_DIR ${CMAKE_INSTALL_LIBDIR}/vexa-web)
foreach(variant sdl2 sdl2_threads)
    unset(found)
    foreach(prefix ${VEXA_CROSS_PREFIXES})
        set(variant_here sdl2)
        if(prefix MATCHES "-pthread/?$")
            set(variant_here sdl2_threads)
        endif()
        if(EXISTS ${prefix}/lib/libSDL2.a AND EXISTS ${prefix}/include/SDL2/SDL.h AND
           variant STREQUAL variant_here)
            set(found ${prefix})
            break()
        endif()
    endforeach()
    if(NOT found)
        message(FATAL_ERROR "no ${variant} for Emscripten in VEXA_CROSS_PREFIXES \
(\"${VEXA_CROSS_PREFIXES}\"): sh scripts/build-web.sh sdl2 builds both")
    endif()
    message(STATUS "SDL2 for the browser (${variant}): ${found}")
    set(target vexa_${variant})
    set(destination ${VEXA_WEB_LIBRARY_DIR}/${variant})
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${found}/include/SDL2>
        $<INSTALL_INTERFACE:${destination}/include/SDL2>)
    target_link_libraries(${target} INTERFACE $<BUILD_INTERFACE:${found}/lib/libSDL2.a>
        $<INSTALL_INTERFACE:$<INSTALL_PREFIX>/${destination}/lib/libSDL2.a>)
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${variant})
    install(TARGETS ${target} EXPORT vexaTargets)
    install(DIRECTORY ${found}/include/ DESTINATION ${destination}/include)
    install(FILES ${found}/lib/libSDL2.a DESTINATION ${destination}/lib)
endforeach()

# A project on the package builds for the browser with the toolchain the
# package was made with (share/vexa/toolchain.cmake), and makes its pages
# with the page shell beside vexa_web.cmake.
install(FILES ${CMAKE_SOURCE_DIR}/cmake/toolchain-web.cmake DESTINATION
    ${CMAKE_INSTALL_DATADIR}/vexa RENAME toolchain.cmake)
install(FILES ${CMAKE_SOURCE_DIR}/cmake/vexa_web.cmake ${CMAKE_SOURCE_DIR}/cmake/vexa_web_page.html
    ${CMAKE_SOURCE_DIR}/cmake/vexa_application.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vexa)

# The model loader's libraries for the browser (scripts/build-loader-libraries.sh
# web and web-pthread build them into prefixes of their own, named in
# VEXA_CROSS_PREFIXES like SDL2's): Assimp, SDL2_image and zlib, each variant
# against the SDL2 of the same variant. They become vexa_web_loader and
# vexa_web_loader_threads, taken straight from the prefixes rather than
# through the libraries' CMake files, which would define one set of target
# names for both variants. Assimp reports damaged files by throwing, and was
# built with -fexceptions: every program linking it must be too.
# VEXA_WEB_LOADER is ON when both variants are complete.
set(VEXA_WEB_LOADER ON)
foreach(variant loader loader_threads)
    set(sdl2 vexa_sdl2)
    set(pthread FALSE)
    if(variant STREQUAL "loader_threads")
        set(sdl2 vexa_sdl2_threads)
        set(pthread TRUE)
    endif()
    set(libraries)
    set(includes)
    set(prefixes)
    foreach(library assimp SDL2_image z)
        unset(found)
        foreach(prefix ${VEXA_CROSS_PREFIXES})
            set(threaded FALSE)
            if(prefix MATCHES "-pthread/?$")
                set(threaded TRUE)
            endif()
            if(threaded STREQUAL pthread AND EXISTS ${prefix}/lib/lib${library}.a)
                set(found ${prefix})
                break()
            endif()
        endforeach()
        if(NOT found)
            set(VEXA_WEB_LOADER OFF)
            break()
        endif()
        list(APPEND libraries ${found}/lib/lib${library}.a)
        list(APPEND includes $<BUILD_INTERFACE:${found}/include>)
        # SDL2_image's header sits beside SDL2's, in include/SDL2.
        if(library STREQUAL "SDL2_image")
            list(APPEND includes $<BUILD_INTERFACE:${found}/include/SDL2>)
        endif()
        list(APPEND prefixes ${found})
    endforeach()
    if(NOT VEXA_WEB_LOADER)
        break()
    endif()
    message(STATUS "The model loader's libraries for the browser (${variant}): ${libraries}")
    set(target vexa_web_${variant})
    set(destination ${VEXA_WEB_LIBRARY_DIR}/${variant})
    add_library(${target} INTERFACE)
    set(installed)
    foreach(library ${libraries})
        get_filename_component(leaf ${library} NAME)
        list(APPEND installed $<INSTALL_INTERFACE:$<INSTALL_PREFIX>/${destination}/lib/${leaf}>)
    endforeach()
    target_include_directories(${target} INTERFACE ${includes}
        $<INSTALL_INTERFACE:${destination}/include>
        $<INSTALL_INTERFACE:${destination}/include/SDL2>)
    list(TRANSFORM libraries PREPEND "$<BUILD_INTERFACE:" OUTPUT_VARIABLE built)
    list(TRANSFORM built APPEND ">")
    target_link_libraries(${target} INTERFACE ${built} ${installed} ${sdl2})
    target_compile_options(${target} INTERFACE -fexceptions)
    target_link_options(${target} INTERFACE -fexceptions)
    set_target_properties(${target} PROPERTIES EXPORT_NAME web_${variant})
    if(VEXA_ASSETS)
        install(TARGETS ${target} EXPORT vexa_assetsTargets COMPONENT assets)
        install(FILES ${libraries} DESTINATION ${destination}/lib COMPONENT assets)
        foreach(prefix ${prefixes})
            install(DIRECTORY ${prefix}/include/ DESTINATION ${destination}/include
                COMPONENT assets)
        endforeach()
    endif()
endforeach()
