tintwell_bench(bench_convert convert_bench.cpp convert PNG::PNG)
