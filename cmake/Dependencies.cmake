# Every external package the project uses, declared once here so that each directory sees the
# same imported targets (scripts/setup-deps.sh installs the Debian packages that provide them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(Boost REQUIRED)
find_package(spdlog REQUIRED)
find_package(fmt REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(CLI11 REQUIRED)
find_package(cppzmq REQUIRED)
pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET GLOBAL pugixml)
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET GLOBAL sqlite3)
pkg_check_modules(LIBPCAP REQUIRED IMPORTED_TARGET GLOBAL libpcap)

find_package(GTest REQUIRED)
include(GoogleTest)

if(ORX_BENCH)
  find_package(benchmark REQUIRED)
endif()
