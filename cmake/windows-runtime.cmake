# What the two programs need beside them on a Windows machine without Qt: the Qt and MinGW
# runtime DLLs, the windows platform plugin with its style, the JPEG and GIF image plugins, and a
# qt.conf that points Qt there.
# `cmake --install` lays it out; scripts/windows-package.sh and windows-msi.sh ship that folder.
install(TARGETS diagnostic-tool configuration-tool RUNTIME DESTINATION .)
foreach(module Core Gui Widgets Network WebSockets)
    install(FILES $<TARGET_FILE:Qt5::${module}> DESTINATION .)
endforeach()
install(FILES $<TARGET_FILE:Qt5::QWindowsIntegrationPlugin> DESTINATION plugins/platforms)
install(FILES $<TARGET_FILE:Qt5::QWindowsVistaStylePlugin> DESTINATION plugins/styles)
# Contact pictures come as JPEG or GIF too; without a plugin Qt decodes only PNG.
foreach(plugin QJpegPlugin QGifPlugin)
    install(FILES $<TARGET_FILE:Qt5::${plugin}> DESTINATION plugins/imageformats)
endforeach()
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT EXISTS "${dll_path}")
        message(FATAL_ERROR "The MinGW runtime ${dll} is missing")
    endif()
    file(REAL_PATH "${dll_path}" dll_path)
    install(FILES "${dll_path}" DESTINATION .)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/qt.conf DESTINATION .)
