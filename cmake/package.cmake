# The CTI client as a package for other projects (outside Windows, whose installation is the
# programs' folder): `cmake --install` puts its libraries, its public headers in a folder of their
# own and a CMake package configuration with a version file below the prefix, so that
#   find_package(BrenvaleTapi 6.2 REQUIRED)
#   target_link_libraries(app PRIVATE BrenvaleTapi::CtiClient)
# works as it does inside this tree. The package carries the Qt major version it was built with.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(BRENVALE_TAPI_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/BrenvaleTapi)
set(BRENVALE_TAPI_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/BrenvaleTapi)

set(BRENVALE_TAPI_QT_VERSION ${Qt${QT_VERSION_MAJOR}_VERSION})

install(TARGETS BrenvaleTapiPlatform BrenvaleTapiLogging BrenvaleTapiSettings BrenvaleTapiModel BrenvaleTapiCtiClient
    EXPORT BrenvaleTapiTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    PUBLIC_HEADER DESTINATION ${BRENVALE_TAPI_INCLUDE_DIR}
    INCLUDES DESTINATION ${BRENVALE_TAPI_INCLUDE_DIR}
)
install(EXPORT BrenvaleTapiTargets NAMESPACE BrenvaleTapi:: DESTINATION ${BRENVALE_TAPI_PACKAGE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/BrenvaleTapiConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/BrenvaleTapiConfig.cmake
    INSTALL_DESTINATION ${BRENVALE_TAPI_PACKAGE_DIR}
)
# A consumer written for 6.x works with any later 6.x; a new major version may break it.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/BrenvaleTapiConfigVersion.cmake
    COMPATIBILITY SameMajorVersion
)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/BrenvaleTapiConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/BrenvaleTapiConfigVersion.cmake
    DESTINATION ${BRENVALE_TAPI_PACKAGE_DIR}
)
