// instruction_set.h: keeps code built for an instruction set above the baseline apart from
// the rest of the library.
//
// SSE2 is the baseline of every x86 target. A file built for a higher level (*_avx2.cpp,
// compiled with -mavx2, which defines __AVX2__) keeps all its code in that level's
// namespace, velkano::avx2, and so must every inline helper it takes from a shared header:
// a helper compiled there is emitted with AVX instructions, and were it named as the
// baseline's copy, the linker could keep that copy for every caller, and a processor without
// AVX would stop on it. Shared headers therefore wrap their inline functions and templates in
// VELKANO_HELPERS_BEGIN / VELKANO_HELPERS_END: nothing in baseline files, an inline namespace
// avx2 in AVX2 files, so each level's copies carry a name of their own. Types that cross from
// one level to another (RenderContext, the kernels' argument records) stay outside them.
#pragma once

#if defined(__AVX2__)
#  define VELKANO_HELPERS_BEGIN inline namespace avx2 {
#  define VELKANO_HELPERS_END }
// Declared inline before any header can open velkano::avx2 as a plain namespace.
namespace velkano {
inline namespace avx2 {}
}  // namespace velkano
#else
#  define VELKANO_HELPERS_BEGIN
#  define VELKANO_HELPERS_END
#endif
