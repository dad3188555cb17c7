tintwell_bench(bench_image image_bench.cpp runtime_image)
