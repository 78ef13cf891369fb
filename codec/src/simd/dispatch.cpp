// Which kernel table runs: chosen once, from the processor's features and TAMSEL_SCALAR.
#include <cstdlib>
#include <cstring>

#include "simd/scalar.h"

namespace codec {

namespace detail {

std::atomic<const Kernels*> activeKernels{nullptr};

}  // namespace detail

const Kernels& ScalarKernels() {
    return detail::kScalarTable;
}

const Kernels* Ssse3Kernels() {
#if defined(__x86_64__) || defined(__i386__)
    static const Kernels* const table = []() -> const Kernels* {
        __builtin_cpu_init();
        if (!__builtin_cpu_supports("ssse3")) return nullptr;
        if (__builtin_cpu_supports("pclmul")) return &detail::kSsse3Table;
        // SSSE3 without carry-less multiplication (some early Atoms): the reference CRCs.
        static Kernels withoutClmul = detail::kSsse3Table;
        withoutClmul.crc16 = detail::kScalarTable.crc16;
        withoutClmul.crc32 = detail::kScalarTable.crc32;
        return &withoutClmul;
    }();
    return table;
#else
    return nullptr;
#endif
}

// A table made from the one below it (null: none) where the processor has every feature the
// wider kernels need.
#if defined(__x86_64__) || defined(__i386__)
template <void (*Use)(Kernels&)>
const Kernels* Widened(const Kernels* below, bool supported) {
    if (!below || !supported) return nullptr;
    static Kernels table = *below;
    Use(table);
    return &table;
}
#endif

const Kernels* Avx2Kernels() {
#if defined(__x86_64__) || defined(__i386__)
    static const Kernels* const table = Widened<detail::UseAvx2Kernels>(
        Ssse3Kernels(), __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi"));
    return table;
#else
    return nullptr;
#endif
}

const Kernels* Avx512Kernels() {
#if defined(__x86_64__) || defined(__i386__)
    static const Kernels* const table = Widened<detail::UseAvx512Kernels>(
        Avx2Kernels(),
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
            __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("popcnt"));
    return table;
#else
    return nullptr;
#endif
}

const Kernels& ChooseKernels(const char* scalarSetting) {
    bool forced = scalarSetting && *scalarSetting && std::strcmp(scalarSetting, "0") != 0;
    const Kernels* vector = Avx512Kernels();
    if (!vector) vector = Avx2Kernels();
    if (!vector) vector = Ssse3Kernels();
    return forced || !vector ? ScalarKernels() : *vector;
}

const Kernels& DefaultKernels() {
    static const Kernels& chosen = ChooseKernels(std::getenv("TAMSEL_SCALAR"));
    // From now on ActiveKernels finds it without coming here, unless a table was forced.
    const Kernels* none = nullptr;
    detail::activeKernels.compare_exchange_strong(none, &chosen, std::memory_order_acq_rel);
    return chosen;
}

void UseKernels(const Kernels* table) {
    detail::activeKernels.store(table ? table : &DefaultKernels(), std::memory_order_release);
}

void ForceScalarKernels(bool on) {
    UseKernels(on ? &ScalarKernels() : nullptr);
}

}  // namespace codec
