# One program: its core (no Qt) from <name>_controller, its window glue from <name>_window with
# resources/<name>.ui (a library of its own, so the GUI tests can open the window), and main.
# Further core sources may follow the name.
function(boardrack_program name)
    add_library(${name}_core STATIC ${name}_controller.h ${name}_controller.cpp ${ARGN})
    target_include_directories(${name}_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name}_core PUBLIC common_core)
    if(BOARDRACK_CORE_ONLY)
        return()
    endif()
    add_library(${name}_gui STATIC ${name}_window.h ${name}_window.cpp
                ${PROJECT_SOURCE_DIR}/resources/${name}.ui)
    set_target_properties(${name}_gui PROPERTIES AUTOUIC ON
                          AUTOUIC_SEARCH_PATHS ${PROJECT_SOURCE_DIR}/resources)
    target_include_directories(${name}_gui PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name}_gui PUBLIC ${name}_core gui_shell)
    add_executable(${name} main.cpp)
    target_link_libraries(${name} PRIVATE ${name}_gui program_core)
endfunction()
