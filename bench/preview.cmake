tintwell_bench(bench_preview preview_bench.cpp app Qt6::Widgets)
