# Shared compile settings, the per-folder library helper and the layering check.

add_library(lorn2_common INTERFACE)
target_compile_options(lorn2_common INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual -Wimplicit-fallthrough
    $<$<BOOL:${LORN2_WERROR}>:-Werror>)
target_compile_definitions(lorn2_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_CONTEXTLESS_CONNECT
    QT_STRICT_ITERATORS
    QT_USE_QSTRINGBUILDER)
target_include_directories(lorn2_common INTERFACE ${CMAKE_BINARY_DIR}/generated)
if(LORN2_FUZZ)
    # The libraries carry libFuzzer's coverage hooks so that it can steer into them.
    target_compile_options(lorn2_common INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    target_link_options(lorn2_common INTERFACE -fsanitize=address,undefined)
elseif(LORN2_SANITIZE)
    target_compile_options(lorn2_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
        -fno-sanitize-recover=undefined)
    target_link_options(lorn2_common INTERFACE -fsanitize=address,undefined)
endif()

# Every folder of the project and the folders each may include, lowest first.
set(LORN2_FOLDERS base archive cfgmap storage link app ui/paint ui/chart ui cli tools/metersim)
set(LORN2_USES_base "")
set(LORN2_USES_archive base)
set(LORN2_USES_cfgmap base)
set(LORN2_USES_storage base archive cfgmap)
set(LORN2_USES_link base archive cfgmap storage)
set(LORN2_USES_app base archive cfgmap storage link)
set(LORN2_USES_ui/paint base archive cfgmap storage link app)
set(LORN2_USES_ui/chart base archive)
set(LORN2_USES_ui base archive cfgmap storage link app ui/paint ui/chart)
set(LORN2_USES_cli base archive cfgmap storage link app ui/paint ui/chart)
set(LORN2_USES_tools/metersim base archive link)
# Qt modules a folder may include by prefixed path (QtGui/QPainter); bare class headers are
# already kept out by the include paths of the modules a library links.
set(LORN2_QT_ui/paint QtGui)
set(LORN2_QT_ui/chart QtGui QtWidgets QtCharts QtSvg)
set(LORN2_QT_ui QtGui QtWidgets QtPrintSupport)
set(LORN2_QT_cli QtGui)
set(LORN2_QT_storage QtXml)

set(LORN2_CHECK_LAYERING ${CMAKE_CURRENT_LIST_DIR}/CheckLayering.cmake)

# lorn2_library(<folder> [LINKS <targets>...])
# Builds lorn2_<folder> from the folder's own sources. Its headers are reachable as
# "<folder>/Header.h" only by targets that link it, and the build fails when a source includes a
# folder it may not use.
function(lorn2_library folder)
    cmake_parse_arguments(L "" "" "LINKS" ${ARGN})
    string(REPLACE "/" "_" name "${folder}")
    set(target lorn2_${name})
    file(GLOB sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.inc)
    # A folder that holds no code yet still takes its place in the link order.
    list(FILTER sources INCLUDE REGEX "\\.(cpp|h|inc)$")
    set(cpp ${sources})
    list(FILTER cpp INCLUDE REGEX "\\.cpp$")
    if(cpp)
        add_library(${target} STATIC ${sources})
        set(scope PUBLIC)
    else()
        add_library(${target} INTERFACE)
        set(scope INTERFACE)
    endif()

    # An include root of this library alone: <build>/inc/<name>/<folder> -> the source folder.
    set(root ${CMAKE_BINARY_DIR}/inc/${name})
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
    target_include_directories(${target} ${scope} ${root})

    target_link_libraries(${target} ${scope} lorn2_common ${L_LINKS})
    foreach(used IN LISTS LORN2_USES_${folder})
        string(REPLACE "/" "_" used_name "${used}")
        target_link_libraries(${target} ${scope} lorn2_${used_name})
    endforeach()
    if(NOT cpp)
        return()
    endif()

    lorn2_check_layering(${target} ${folder} "${sources}")
endfunction()

# lorn2_check_layering(<target> <folder> <sources>)
function(lorn2_check_layering target folder sources)
    string(REPLACE "/" "_" name "${folder}")
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}.layering.stamp)
    string(REPLACE ";" "," allowed "${LORN2_USES_${folder}}")
    string(REPLACE ";" "," qt "${LORN2_QT_${folder}}")
    string(REPLACE ";" "," folders "${LORN2_FOLDERS}")
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} -DALLOWED=${allowed} -DQT=${qt} -DFOLDERS=${folders}
                "-DSOURCES=${sources}" -P ${LORN2_CHECK_LAYERING}
        COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
        DEPENDS ${sources} ${LORN2_CHECK_LAYERING}
        COMMENT "Checking the includes of ${folder}/"
        VERBATIM)
    add_custom_target(${target}_layering DEPENDS ${stamp})
    add_dependencies(${target} ${target}_layering)
endfunction()
