// Which vector width the fast signal chain runs on. The paths differ only
// in the last bits (the wider ones fuse multiply-adds, SSE2 has none), and
// each stays within 5e-7 of the reference chain; the widest one the
// processor (and this build) offers is taken at load.
#pragma once

enum class ChainLanes { sse2, avx2, avx512 };

// "SSE2", "AVX2" or "AVX-512".
const char* chainLanesName(ChainLanes lanes);

// Whether this build carries the path and the processor runs it. SSE2 is
// always there.
bool chainLanesSupported(ChainLanes lanes);

// The path blocks run on now (any thread).
ChainLanes activeChainLanes();

// Forces a path, for tests and benchmarks (not while a block runs). An
// unsupported path is refused and the active one kept; returns whether the
// requested path is now active.
bool selectChainLanes(ChainLanes lanes);
