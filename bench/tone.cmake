tintwell_bench(bench_tone tone_bench.cpp tone PkgConfig::LCMS2)
