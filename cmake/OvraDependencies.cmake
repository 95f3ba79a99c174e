# Every dependency comes from the system (Debian packages); nothing is vendored.
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(nlohmann_json 3.11 REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)
pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
