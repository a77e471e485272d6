"""The benchmarks behind docs/benchmarks.md, run by tools/bench: one module to each kind of figure,
with the statistics and the private servers they share, and the report that writes them down."""
