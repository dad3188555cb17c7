tintwell_bench(bench_worker worker_bench.cpp app Qt6::Widgets)
