tintwell_bench(bench_heif heif_bench.cpp tone)
