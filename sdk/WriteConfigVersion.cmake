# cmake -DVERSION=x.y.z -DOUTPUT=file -P WriteConfigVersion.cmake: the version file beside
# TrelvoxConfig.cmake, so that find_package(Trelvox 1.0) checks the SDK's version.
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${OUTPUT} VERSION ${VERSION} COMPATIBILITY SameMajorVersion)
