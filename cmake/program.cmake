# One program: its core (no Qt) from <name>_controller, its window glue, and main, which hands
# app/window_main the program's form (<name>_form_setup). Further core sources may follow the
# name.
#   Qt: <name>_window with resources/<name>.ui (a library of its own, so the GUI tests can open
#   the window).
#   Windows: <name>_dialog with dialog 101 made from the same .ui by scripts/ui2rc (an object
#   library, so that a test program that links it has the dialog among its resources).
function(boardrack_program name description)
    add_library(${name}_core STATIC ${name}_controller.h ${name}_controller.cpp ${ARGN})
    target_include_directories(${name}_core PUBLIC ${PROJECT_SOURCE_DIR}/programs)
    target_link_libraries(${name}_core PUBLIC station_control)
    if(WIN32)
        set(form ${PROJECT_SOURCE_DIR}/resources/${name}.ui)
        set(dialog ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
        add_custom_command(OUTPUT ${dialog}
            COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/scripts/ui2rc ${form} ${dialog}
            DEPENDS ${form} ${PROJECT_SOURCE_DIR}/scripts/ui2rc
            COMMENT "Dialog 101 of ${name} from ${name}.ui")
        add_library(${name}_dialog OBJECT ${name}_dialog.h ${name}_dialog.cpp
                    ${name}_form_setup.h ${dialog})
        target_link_libraries(${name}_dialog PUBLIC ${name}_core window_main)
        add_executable(${name} main.cpp)
        target_link_libraries(${name} PRIVATE ${name}_dialog)
        boardrack_version_resource(${name} "${description}")
        return()
    endif()
    if(BOARDRACK_CORE_ONLY)
        return()
    endif()
    add_library(${name}_gui STATIC ${name}_window.h ${name}_window.cpp ${name}_form_setup.h
                ${PROJECT_SOURCE_DIR}/resources/${name}.ui)
    set_target_properties(${name}_gui PROPERTIES AUTOUIC ON
                          AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/resources)
    target_link_libraries(${name}_gui PUBLIC ${name}_core window_main)
    add_executable(${name} main.cpp)
    target_link_libraries(${name} PRIVATE ${name}_gui)
endfunction()
