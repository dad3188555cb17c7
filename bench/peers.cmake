# The helper of bench/peers (not a benchmark program itself, so not named bench_*).
add_executable(peers_harness EXCLUDE_FROM_ALL peers_harness.cpp)
target_link_libraries(peers_harness PRIVATE tone PNG::PNG ZLIB::ZLIB PkgConfig::TURBOJPEG
  PkgConfig::LIBHEIF PkgConfig::LIBRAW)
add_dependencies(benchmarks peers_harness)
