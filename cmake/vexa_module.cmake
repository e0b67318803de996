# vexa_module(<name> [FOLDER <folder>] [DEPENDS <modules...>] [LIBRARIES <targets...>]
#             [EXCLUDE <files...>] [CLIENT] [COMPONENT <component>])
#
# One layer of the engine: a static library vexa_<name> (vexa::<name> once
# installed) of every .cpp in <folder> (default: <name>) but the EXCLUDEd
# ones, linking the modules it DEPENDS on and the outside LIBRARIES.
#
# Each module compiles against an include root of its own,
# build/layers/<name>/, holding links to its folder and to the folders of
# the modules below it, and nothing else: an include of a higher layer's
# header ("scene/..." from gfx/) is an error from the compiler, not a habit
# that creeps in. Programs and higher modules see the roots of what they link.
#
# CLIENT marks code built on the engine (the demonstration): the same include
# discipline, but neither installed nor part of vexa::engine.
#
# In the browser build (EMSCRIPTEN) every module has a threaded twin,
# vexa_<name>_threads (vexa::<name>_threads): the same sources and include
# root compiled with -pthread, because WebAssembly with threads links only
# objects built for shared memory. The twin links the twins of what the
# module links where they exist (vexa_sdl2 -> vexa_sdl2_threads) and goes
# into the same export set (vexa_threads_twins: cmake/vexa_web.cmake).
#
# COMPONENT installs the module as an optional part of the package, outside
# vexa::engine: find_package(vexa COMPONENTS <component>) loads its targets
# (export set vexa_<component>Targets) and the package configuration finds
# its outside libraries only then.
function(vexa_module name)
    cmake_parse_arguments(M "CLIENT" "FOLDER;COMPONENT" "DEPENDS;LIBRARIES;EXCLUDE" ${ARGN})
    if(NOT M_FOLDER)
        set(M_FOLDER ${name})
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${M_FOLDER}/*.cpp)
    file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${M_FOLDER}/*.h)
    foreach(file ${M_EXCLUDE})
        list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${M_FOLDER}/${file})
    endforeach()

    # The folders this module may include from: its own and those below.
    set(folders ${M_FOLDER})
    foreach(dependency ${M_DEPENDS})
        get_property(below GLOBAL PROPERTY VEXA_FOLDERS_${dependency})
        list(APPEND folders ${below})
    endforeach()
    list(REMOVE_DUPLICATES folders)
    set_property(GLOBAL PROPERTY VEXA_FOLDERS_${name} ${folders})
    set(root ${CMAKE_BINARY_DIR}/layers/${name})
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    foreach(folder ${folders})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endforeach()

    set(target vexa_${name})
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
    list(TRANSFORM M_DEPENDS PREPEND vexa_)
    target_link_libraries(${target} PUBLIC ${M_DEPENDS} ${M_LIBRARIES})
    set(targets ${target})
    if(EMSCRIPTEN)
        set(twin ${target}_threads)
        add_library(${twin} STATIC ${sources})
        target_include_directories(${twin} PUBLIC $<BUILD_INTERFACE:${root}>)
        vexa_threads_twins(linked ${M_DEPENDS} ${M_LIBRARIES})
        target_link_libraries(${twin} PUBLIC ${linked})
        target_compile_options(${twin} PUBLIC -pthread)
        target_link_options(${twin} PUBLIC -pthread)
        target_compile_definitions(${twin} PRIVATE VEXA_BROWSER_THREADS=${VEXA_BROWSER_THREADS})
        list(APPEND targets ${twin})
    endif()
    if(M_CLIENT)
        return()
    endif()

    foreach(each ${targets})
        string(REGEX REPLACE "^vexa_" "" export_name ${each})
        add_library(vexa::${export_name} ALIAS ${each})
        set_target_properties(${each} PROPERTIES EXPORT_NAME ${export_name})
        target_include_directories(${each} PUBLIC
            $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/vexa>)
    endforeach()
    if(M_COMPONENT)
        set(export vexa_${M_COMPONENT}Targets)
        set(component COMPONENT ${M_COMPONENT})
        install(EXPORT ${export} NAMESPACE vexa:: ${component}
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vexa)
    else()
        set(export vexaTargets)
        set(component)
        set_property(GLOBAL APPEND PROPERTY VEXA_MODULE_TARGETS ${target})
        if(EMSCRIPTEN)
            set_property(GLOBAL APPEND PROPERTY VEXA_MODULE_THREADS_TARGETS ${twin})
        endif()
    endif()
    install(TARGETS ${targets} EXPORT ${export} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ${component})
    install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexa/${M_FOLDER}
        ${component})
endfunction()
